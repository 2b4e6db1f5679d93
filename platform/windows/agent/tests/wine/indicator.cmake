# End-to-end tests of the session indicator under Wine and Xvfb: the test twin runs "--indicator"
# while a harness provides the "Winlogon" desktop (and, where asked, holds the stop shortcut), and a
# probe reads the windows from outside. The window floor is the comparison program of the figures.
foreach(program harness probe window_floor)
  vornakel_add_wine_test_program(vornakel_indicator_${program} WIN32
    SOURCES "${CMAKE_CURRENT_SOURCE_DIR}/indicator/indicator_${program}_win32.cc"
    LIBS user32 gdi32 shell32)
endforeach()

vornakel_add_wine_script_test(indicator_session_wine
                              "${CMAKE_CURRENT_SOURCE_DIR}/indicator/indicator_session_test.sh")
set_tests_properties(indicator_session_wine PROPERTIES TIMEOUT 300 RUN_SERIAL TRUE)
