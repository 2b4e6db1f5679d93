# The indicator's queue, input watcher and event loop once more, under ThreadSanitizer.
vornakel_add_tsan_gtest(service_indicator_tsan_tests
  tests/service_indicator/indicator_threads_test.cc
  src/service_indicator/indicator_event.cc
  src/service_indicator/event_loop.cc
  src/service_indicator/input_watcher.cc
  src/native_protocol/framing.cc)
