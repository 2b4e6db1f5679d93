# End-to-end tests of the Windows service under Wine's own service control manager: a stand-in
# for the node runtime, a harness that talks to the control manager, and the scripts that drive
# them.
add_executable(vornakel_service_standin_agent service/service_standin_agent.cc)
add_executable(vornakel_service_harness service/service_harness.cc)
add_executable(vornakel_service_import_floor service/service_import_floor.cc)
foreach(target vornakel_service_standin_agent vornakel_service_harness vornakel_service_import_floor)
  vornakel_project_target(${target})
  target_link_libraries(${target} PRIVATE advapi32 psapi shell32 user32 shcore)
  if(MINGW)
    target_link_options(${target} PRIVATE -municode)
  endif()
  vornakel_copy_to_dist(${target} windows-test)
endforeach()
# The harness sizes a process's handle table from the system's process list (NtQuerySystemInformation).
target_link_libraries(vornakel_service_harness PRIVATE ntdll)

vornakel_add_wine_script_test(service_e2e_wine "${CMAKE_CURRENT_SOURCE_DIR}/service/service_e2e.sh")
set_tests_properties(service_e2e_wine PROPERTIES TIMEOUT 240 RUN_SERIAL TRUE)
