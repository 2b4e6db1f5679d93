# The release of held input when memory has run out. A program of its own: it replaces the global
# operator new with one that fails on demand, which no other test may share. Not under the
# sanitizers, whose runtimes bring their own operator new.
if(NOT CMAKE_CROSSCOMPILING AND NOT VORNAKEL_SANITIZE)
  add_executable(native_protocol_out_of_memory_tests
    "${CMAKE_CURRENT_LIST_DIR}/out_of_memory/allocation_hook.cc"
    "${CMAKE_CURRENT_LIST_DIR}/out_of_memory/release_without_memory.cc"
    "${CMAKE_CURRENT_LIST_DIR}/support/loop_fakes.cc"
    "${CMAKE_CURRENT_LIST_DIR}/support/loop_harness.cc")
  target_include_directories(native_protocol_out_of_memory_tests PRIVATE
                             "${CMAKE_CURRENT_LIST_DIR}" "${CMAKE_CURRENT_LIST_DIR}/..")
  target_link_libraries(native_protocol_out_of_memory_tests PRIVATE vk_all_units)
  vornakel_add_gtest(native_protocol_out_of_memory_tests)
endif()
