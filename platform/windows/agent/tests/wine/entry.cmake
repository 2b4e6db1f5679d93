# The test twin of the shipped program: the same entry point and units, with every link seam that
# has a double in tests/doubles/ (same file name) replaced by it. Wine has no LocalSystem and no
# real ACLs; this program lets the end-to-end tests get past those two checks. It is copied to
# dist/windows-test/, never to dist/windows/.
set(entry_test_seams "")
foreach(seam IN LISTS VORNAKEL_LINK_SEAMS)
  get_filename_component(seam_name "${seam}" NAME)
  set(double "${CMAKE_CURRENT_SOURCE_DIR}/../doubles/${seam_name}")
  if(EXISTS "${double}")
    list(APPEND entry_test_seams "${double}")
  else()
    list(APPEND entry_test_seams "${seam}")
  endif()
endforeach()
vornakel_add_program(vornakel_windows_service_wine_test ${entry_test_seams})
vornakel_copy_to_dist(vornakel_windows_service_wine_test windows-test)

vornakel_add_wine_script_test(entry_modes_end_to_end "${CMAKE_CURRENT_SOURCE_DIR}/entry_modes_test.sh")
vornakel_add_wine_script_test(entry_validate_install_end_to_end
                              "${CMAKE_CURRENT_SOURCE_DIR}/entry_validate_install_test.sh")
set_tests_properties(entry_modes_end_to_end entry_validate_install_end_to_end PROPERTIES TIMEOUT 300)
