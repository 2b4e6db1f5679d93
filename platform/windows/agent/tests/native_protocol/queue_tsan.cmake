# The command reader thread and its queue once more, under ThreadSanitizer. TSan cannot share a
# process with the AddressSanitizer build, so this one program is instrumented on its own in the
# plain native build, with the few sources it needs compiled straight into it.
if(NOT CMAKE_CROSSCOMPILING AND NOT VORNAKEL_SANITIZE AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  set(vk_np_src "${CMAKE_CURRENT_SOURCE_DIR}/../src/native_protocol")
  set(vk_common_src "${CMAKE_CURRENT_SOURCE_DIR}/../src/common")
  add_executable(native_protocol_queue_tsan_tests
    "${CMAKE_CURRENT_SOURCE_DIR}/native_protocol/queue_reader_thread_test.cc"
    "${vk_np_src}/command_queue.cc"
    "${vk_np_src}/command_queue_reader.cc"
    "${vk_np_src}/framing.cc")
  target_include_directories(native_protocol_queue_tsan_tests PRIVATE
    "${CMAKE_CURRENT_SOURCE_DIR}" "${CMAKE_CURRENT_SOURCE_DIR}/../src")
  target_compile_options(native_protocol_queue_tsan_tests PRIVATE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(native_protocol_queue_tsan_tests PRIVATE -fsanitize=thread)
  vornakel_add_gtest(native_protocol_queue_tsan_tests)
endif()
