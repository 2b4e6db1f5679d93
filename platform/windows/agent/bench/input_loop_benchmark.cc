// How fast the input host's main thread turns command lines into input, and how long a line waits
// between the reader thread and the loop.
//
// BM_CommandLoop*: whole passes of run_command_loop over pre-made lines (lease check, desktop
// refresh, receive, rate window, parse, translate, authorization, dispatch) into a backend that
// does nothing; items/s is commands per second on one core.
// BM_ReaderHandOff: a reader thread fed at 300 lines per second, the rate limit's ceiling; each
// line is stamped when it becomes readable and measured when the loop side takes it off the queue.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "native_protocol/authorization/authorization_state.h"
#include "native_protocol/command_loop.h"
#include "native_protocol/command_queue.h"
#include "native_protocol/command_queue_reader.h"
#include "native_protocol/injection/display_record.h"

namespace vornakel::native_protocol {
namespace {

using Clock = std::chrono::steady_clock;
constexpr uint64_t kNow = 1'800'000'000;

class FixedUnixClock final : public UnixClock {
 public:
  uint64_t now_unix_s() override { return kNow; }
};

// Moves 4 ms per reading, so the rate window never holds more than 250 lines.
class SteppingClock final : public MonotonicClock {
 public:
  Clock::time_point now() override { return now_ += std::chrono::milliseconds(4); }
  Clock::time_point now_{};
};

class ListedCommands final : public CommandReceiver {
 public:
  explicit ListedCommands(const std::vector<std::string>& lines) : lines_(lines) {}
  Received receive(std::chrono::milliseconds, std::string& line) override {
    if (next_ == lines_.size()) return Received::kEndOfInput;
    line = lines_[next_++];
    return Received::kLine;
  }

 private:
  const std::vector<std::string>& lines_;
  std::size_t next_ = 0;
};

class NullSink final : public StatusSink {
 public:
  Status write(std::string_view) override { return Ok(); }
  Status flush() override { return Ok(); }
};

class StillDesktop final : public InputDesktop {
 public:
  Result<bool> refresh_input_desktop(std::unique_ptr<InputBackend>&) override { return false; }
  const std::string& name() const override { return name_; }

 private:
  std::string name_ = "Default";
};

DisplayRecord primary_display() {
  DisplayRecord record;
  record.id = record.device = record.name = "\\\\.\\DISPLAY1";
  record.width = 1920;
  record.height = 1080;
  record.primary = true;
  return record;
}

class OneDisplay final : public DisplaySource {
 public:
  Result<std::vector<DisplayRecord>, AdapterError> enumerate_displays() override {
    return std::vector<DisplayRecord>{primary_display()};
  }
};

class NullBackend final : public InputBackend {
 public:
  Result<void, AdapterError> execute(const InputAction& action) override {
    benchmark::DoNotOptimize(&action);
    return {};
  }
  Result<void, AdapterError> release_all() override { return {}; }
};

class NullFactory final : public InputBackendFactory {
 public:
  Result<std::unique_ptr<InputBackend>, AdapterError> create_backend(
      const DisplayRecord&) override {
    return std::unique_ptr<InputBackend>(std::make_unique<NullBackend>());
  }
};

class NoError final : public LastErrorReader {
 public:
  uint32_t last_error() override { return 0; }
};

std::string control(uint32_t seq, const std::string& members) {
  return "{\"type\":\"control\",\"message\":{\"v\":1,\"seq\":" + std::to_string(seq) + "," +
         members + "}}\n";
}

void run_lines(benchmark::State& state, const std::vector<std::string>& lines) {
  FixedUnixClock unix_clock;
  SteppingClock monotonic;
  NullSink sink;
  StillDesktop desktop;
  OneDisplay displays;
  NullFactory factory;
  NoError no_error;
  VerifiedAuthorization session;
  session.requester_name = "Operator";
  session.session_id[0] = 1;
  session.lease_end_s = kNow + 300;
  session.permissions.mask =
      permission_bit(Permission::kSendPointer) | permission_bit(Permission::kSendKeyboard);

  for (auto _ : state) {
    state.PauseTiming();
    ListedCommands commands(lines);
    LoopSeams seams{unix_clock, monotonic, commands, sink, desktop, displays, factory, no_error};
    auto authorization = establish(session, session.permissions, kNow);
    LoopContext context(seams, session, std::move(authorization).value(), primary_display(),
                        std::make_unique<NullBackend>());
    state.ResumeTiming();
    Status result = run_command_loop(context);
    if (!result.ok()) state.SkipWithError("the loop refused a benchmark line");
    benchmark::DoNotOptimize(context.dispatch_counter);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(lines.size()));
}

constexpr uint32_t kBatch = 4096;

void BM_CommandLoopKeys(benchmark::State& state) {
  std::vector<std::string> lines;
  for (uint32_t i = 1; i <= kBatch; ++i) {
    lines.push_back(
        control(i, std::string("\"type\":\"key-transition\",\"code\":\"KeyA\",\"down\":") +
                       (i % 2 ? "true" : "false") + ",\"modifiers\":2"));
  }
  run_lines(state, lines);
}
BENCHMARK(BM_CommandLoopKeys);

void BM_CommandLoopPointer(benchmark::State& state) {
  std::vector<std::string> lines;
  for (uint32_t i = 1; i <= kBatch; ++i) {
    lines.push_back(control(i, "\"type\":\"pointer\",\"x\":0." + std::to_string(100 + i % 800) +
                                   ",\"y\":0.5,\"buttons\":" + std::to_string(i % 2)));
  }
  run_lines(state, lines);
}
BENCHMARK(BM_CommandLoopPointer);

void BM_CommandLoopRelative(benchmark::State& state) {
  std::vector<std::string> lines(kBatch, "{\"type\":\"relative\",\"dx\":3,\"dy\":-2}\n");
  run_lines(state, lines);
}
BENCHMARK(BM_CommandLoopRelative);

int64_t nanoseconds_now() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
      .count();
}

// Standard input that releases one line every `period`, stamping the moment it becomes readable.
class PacedSource final : public ByteSource {
 public:
  PacedSource(int lines, std::chrono::microseconds period) : remaining_(lines), period_(period) {}

  Result<std::span<const uint8_t>> fill() override {
    if (offset_ < buffer_.size()) return view();
    if (remaining_ == 0) return std::span<const uint8_t>();
    --remaining_;
    next_ = std::max(next_, Clock::now()) + period_;
    std::this_thread::sleep_until(next_);
    const auto stamp = nanoseconds_now();
    buffer_ = "{\"stamp\":" + std::to_string(stamp) + "}\n";
    offset_ = 0;
    return view();
  }
  void consume(std::size_t count) override { offset_ += count; }

 private:
  std::span<const uint8_t> view() const {
    return {reinterpret_cast<const uint8_t*>(buffer_.data()) + offset_, buffer_.size() - offset_};
  }
  int remaining_;
  std::chrono::microseconds period_;
  Clock::time_point next_{};
  std::string buffer_;
  std::size_t offset_ = 0;
};

double percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
  return values[index];
}

void BM_ReaderHandOff(benchmark::State& state) {
  constexpr int kLines = 900;  // three seconds at 300 lines per second
  std::vector<double> micros;
  for (auto _ : state) {
    auto queue = std::make_shared<CommandQueue>();
    CommandQueueReceiver receiver(queue);
    if (!start_command_reader(
             std::make_shared<PacedSource>(kLines, std::chrono::microseconds(3333)), queue)
             .ok()) {
      state.SkipWithError("the reader thread did not start");
      return;
    }
    std::string line;
    for (;;) {
      const Received got = receiver.receive(kCommandWait, line);
      if (got == Received::kEndOfInput) break;
      if (got != Received::kLine) continue;
      const auto now = nanoseconds_now();
      const auto stamp = std::stoll(line.substr(9));
      micros.push_back(static_cast<double>(now - stamp) / 1000.0);
    }
  }
  state.counters["lines"] = static_cast<double>(micros.size());
  state.counters["p50_us"] = percentile(micros, 0.50);
  state.counters["p99_us"] = percentile(micros, 0.99);
  state.counters["max_us"] = percentile(micros, 1.0);
}
BENCHMARK(BM_ReaderHandOff)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace vornakel::native_protocol
