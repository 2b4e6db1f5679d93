# End-to-end tests of the capture host: the test twin runs "--capture" under Wine with a stand-in
# media engine installed as "runtime/ffmpeg.exe", started by a Windows-side runner that sees full
# exit codes and makes real Windows pipes.
foreach(name IN ITEMS capture_standin_engine capture_host_runner)
  vornakel_add_wine_test_program(vornakel_${name}
                                 SOURCES "${CMAKE_CURRENT_SOURCE_DIR}/capture_host/${name}.cc"
                                 LIBS shell32 user32)
endforeach()

vornakel_add_wine_script_test(capture_host_end_to_end
                              "${CMAKE_CURRENT_SOURCE_DIR}/capture_host/capture_host_test.sh")
set_tests_properties(capture_host_end_to_end PROPERTIES TIMEOUT 300)
