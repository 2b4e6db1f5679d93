# The indicator's queue, input watcher and event loop once more, under ThreadSanitizer, in the plain
# native build (TSan cannot share a process with the AddressSanitizer build); the few sources they
# need are compiled straight into the program.
if(NOT CMAKE_CROSSCOMPILING AND NOT VORNAKEL_SANITIZE AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  set(vk_src "${CMAKE_CURRENT_SOURCE_DIR}/../src")
  add_executable(service_indicator_tsan_tests
    "${CMAKE_CURRENT_SOURCE_DIR}/service_indicator/indicator_threads_test.cc"
    "${vk_src}/service_indicator/indicator_event.cc"
    "${vk_src}/service_indicator/event_loop.cc"
    "${vk_src}/service_indicator/input_watcher.cc"
    "${vk_src}/native_protocol/framing.cc")
  target_include_directories(service_indicator_tsan_tests PRIVATE
    "${CMAKE_CURRENT_SOURCE_DIR}" "${vk_src}")
  target_compile_options(service_indicator_tsan_tests PRIVATE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(service_indicator_tsan_tests PRIVATE -fsanitize=thread)
  vornakel_add_gtest(service_indicator_tsan_tests)
endif()
