# Short runs of the soak and fault scripts of the Windows program (scripts/soak/), so that they keep
# working: a few seconds each, with every check made but figures that mean little at that length
# (the README's "Reliability" figures come from 10-minute runs). 77: a program is missing (the
# ticket issuer comes from the linux preset).
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(vornakel_soak_scripts "${CMAKE_SOURCE_DIR}/scripts/soak")
function(vornakel_add_soak_test name script)
  add_test(NAME ${name} COMMAND "${Python3_EXECUTABLE}" "${vornakel_soak_scripts}/${script}" ${ARGN})
  vornakel_wine_test_environment(environment)
  set_tests_properties(${name} PROPERTIES
    FIXTURES_REQUIRED wine_prefix TIMEOUT 180 SKIP_RETURN_CODE 77 RUN_SERIAL TRUE
    ENVIRONMENT "${environment};VORNAKEL_SOAK_NO_BUILD=1")
endfunction()

vornakel_add_soak_test(soak_input_host input_host.py
                       --minutes 0.2 --session-seconds 0.5 --hostile-every 3)
vornakel_add_soak_test(soak_service service.py --minutes 0.2)
vornakel_add_soak_test(soak_faults_windows faults.py --minutes 0.01 --only service,input)
