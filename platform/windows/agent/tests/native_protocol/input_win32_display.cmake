# Windows-side tests of the input host that need a display: they create windows, inject input and
# enumerate monitors, so they run under their own Xvfb. They link the DPI-awareness double in
# place of the shipped link seam (Wine refuses per-monitor awareness version 2).
if(WIN32)
  file(GLOB input_display_tests CONFIGURE_DEPENDS "${CMAKE_CURRENT_LIST_DIR}/injection/win32/*.cc")
  set(input_display_seams ${VORNAKEL_LINK_SEAMS})
  list(FILTER input_display_seams EXCLUDE REGEX "/dpi_awareness_win32\\.cc$")
  add_executable(native_protocol_win32_display_tests ${input_display_tests} ${input_display_seams}
                 "${CMAKE_CURRENT_LIST_DIR}/../doubles/dpi_awareness_win32.cc")
  target_include_directories(native_protocol_win32_display_tests PRIVATE "${CMAKE_CURRENT_LIST_DIR}/..")
  target_link_libraries(native_protocol_win32_display_tests PRIVATE vk_all_units ${VORNAKEL_WIN32_SYSTEM_LIBS})
  vornakel_project_target(native_protocol_win32_display_tests)
  target_link_libraries(native_protocol_win32_display_tests PRIVATE GTest::gtest GTest::gmock GTest::gtest_main)
  if(VORNAKEL_BUILD_WINE_TESTS)
    add_test(NAME native_protocol_win32_display_tests
             COMMAND bash "${CMAKE_SOURCE_DIR}/scripts/wine/with_xvfb.sh"
                     "${CMAKE_SOURCE_DIR}/scripts/wine/run_in_wine.sh"
                     "$<TARGET_FILE:native_protocol_win32_display_tests>")
    set_tests_properties(native_protocol_win32_display_tests PROPERTIES
      FIXTURES_REQUIRED wine_prefix
      ENVIRONMENT "VORNAKEL_WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix"
      TIMEOUT 300)
  endif()
endif()
