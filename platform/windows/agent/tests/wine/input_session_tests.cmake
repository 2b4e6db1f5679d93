# End-to-end input sessions: the test twin of the program runs "--input" under Wine and Xvfb with
# start records from the ticket issuer, against a recorder window in a process of its own.
vornakel_add_wine_test_program(vornakel_input_recorder WIN32
                               SOURCES "${CMAKE_CURRENT_SOURCE_DIR}/input/input_recorder_win32.cc"
                               LIBS user32 gdi32 shell32)

foreach(case IN ITEMS keys pointer endings refusals)
  vornakel_add_wine_script_test(input_session_${case}
                                "${CMAKE_CURRENT_SOURCE_DIR}/input_session_${case}.sh")
  # 77: the native ticket issuer has not been built (it comes from the linux preset).
  set_tests_properties(input_session_${case} PROPERTIES TIMEOUT 240 SKIP_RETURN_CODE 77
                       RESOURCE_LOCK input_session_display)
endforeach()
