# A locale whose decimal point is a comma, for the test that pointer coordinates do not follow the
# C locale. It is compiled into the build tree from Debian's locale sources (package "locales"),
# so the test needs no locale generated on the machine; the test fails if it cannot switch.
if(TARGET native_protocol_tests AND CMAKE_SYSTEM_NAME STREQUAL "Linux")
  find_program(VORNAKEL_LOCALEDEF localedef REQUIRED)
  set(vk_locale_dir "${CMAKE_CURRENT_BINARY_DIR}/locale")
  add_custom_command(OUTPUT "${vk_locale_dir}/de_DE.UTF-8/LC_NUMERIC"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${vk_locale_dir}"
    COMMAND "${VORNAKEL_LOCALEDEF}" -i de_DE -f UTF-8 "${vk_locale_dir}/de_DE.UTF-8"
    COMMENT "Compiling the de_DE.UTF-8 locale for the native tests"
    VERBATIM)
  add_custom_target(native_protocol_test_locale DEPENDS "${vk_locale_dir}/de_DE.UTF-8/LC_NUMERIC")
  add_dependencies(native_protocol_tests native_protocol_test_locale)
  target_compile_definitions(native_protocol_tests PRIVATE
    VORNAKEL_TEST_LOCALE_DIR="${vk_locale_dir}")
endif()
