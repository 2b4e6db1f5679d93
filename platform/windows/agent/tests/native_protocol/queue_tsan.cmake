# The command reader thread and its queue once more, under ThreadSanitizer.
vornakel_add_tsan_gtest(native_protocol_queue_tsan_tests
  tests/native_protocol/queue_reader_thread_test.cc
  src/native_protocol/command_queue.cc
  src/native_protocol/command_queue_reader.cc
  src/native_protocol/framing.cc)
