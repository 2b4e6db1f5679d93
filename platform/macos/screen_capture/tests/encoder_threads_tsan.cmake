# Capture mode's three threads (stream, encoder output, main) once more, under ThreadSanitizer.
# TSan cannot share a process with the AddressSanitizer build, so this one program is instrumented
# on its own in the plain native build, with the portable core compiled straight into it.
if(NOT APPLE AND NOT VORNAKEL_SANITIZE AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  add_executable(screen_capture_encoder_threads_tsan_tests
    "${CMAKE_CURRENT_SOURCE_DIR}/core/encoder_threads_test.cc" ${VK_CAPTURE_CORE_SOURCES})
  target_include_directories(screen_capture_encoder_threads_tsan_tests PRIVATE
    "${CMAKE_CURRENT_SOURCE_DIR}" "${CMAKE_CURRENT_SOURCE_DIR}/../src")
  target_compile_options(screen_capture_encoder_threads_tsan_tests PRIVATE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(screen_capture_encoder_threads_tsan_tests PRIVATE -fsanitize=thread)
  target_link_libraries(screen_capture_encoder_threads_tsan_tests PRIVATE Threads::Threads)
  vk_capture_add_gtest(screen_capture_encoder_threads_tsan_tests)
endif()
