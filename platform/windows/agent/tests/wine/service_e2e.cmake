# End-to-end tests of the Windows service under Wine's own service control manager: a stand-in
# for the node runtime, a harness that talks to the control manager, and the scripts that drive
# them.
foreach(name IN ITEMS standin_agent harness import_floor)
  vornakel_add_wine_test_program(vornakel_service_${name} SOURCES service/service_${name}.cc
                                 LIBS advapi32 psapi shell32 user32 shcore)
endforeach()
# The harness sizes a process's handle table from the system's process list (NtQuerySystemInformation).
target_link_libraries(vornakel_service_harness PRIVATE ntdll)

vornakel_add_wine_script_test(service_e2e_wine "${CMAKE_CURRENT_SOURCE_DIR}/service/service_e2e.sh")
set_tests_properties(service_e2e_wine PROPERTIES TIMEOUT 240 RUN_SERIAL TRUE)
