// The mode dispatch and the agent's environment block, driven by arbitrary argument lists and
// service environments. Oracles: a table of the modes (first argument, whether more may follow,
// the steps in order) predicts every choice and every call, a failing step stops the rest; the
// environment block splits back into exactly the allow-listed entries, sorted by key, and nothing
// else of the service's environment gets through.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/utf16.h"
#include "service_host/agent_environment.h"
#include "service_host/mode_dispatch.h"
#include "support/fuzz_oracles.h"

namespace {

using vornakel::fuzz::require;

enum Step : int {
  kLocalSystem,
  kWindowStation,
  kDispatcher,
  kInput,
  kCapture,
  kIndicator,
  kValidate
};

struct ModeRow {
  std::u16string_view name;
  vornakel::Mode mode;
  bool takes_more;
  std::vector<int> steps;
};

const std::vector<ModeRow>& mode_table() {
  static const std::vector<ModeRow> table = {
      {u"--input", vornakel::Mode::kInput, false, {kLocalSystem, kWindowStation, kInput}},
      {u"--capture", vornakel::Mode::kCapture, true, {kLocalSystem, kWindowStation, kCapture}},
      {u"--indicator",
       vornakel::Mode::kIndicator,
       false,
       {kLocalSystem, kWindowStation, kIndicator}},
      {u"--is-system", vornakel::Mode::kIsSystem, false, {kLocalSystem}},
      {u"--validate-install", vornakel::Mode::kValidateInstall, false, {kValidate}},
  };
  return table;
}

class RecordingSteps final : public vornakel::ModeSteps {
 public:
  explicit RecordingSteps(size_t failing_call) : failing_call_(failing_call) {}
  std::vector<int> calls;
  std::vector<std::u16string> capture_args;

  vornakel::Status require_local_system() override { return record(kLocalSystem); }
  vornakel::Status attach_interactive_window_station() override { return record(kWindowStation); }
  vornakel::Status run_service_dispatcher() override { return record(kDispatcher); }
  vornakel::Status run_input_host() override { return record(kInput); }
  vornakel::Status run_capture_host(const std::vector<std::u16string>& args) override {
    capture_args = args;
    return record(kCapture);
  }
  vornakel::Status run_indicator() override { return record(kIndicator); }
  vornakel::Status validate_install() override { return record(kValidate); }

  static vornakel::Error failure_of(size_t call) {
    return vornakel::Error::os(0x80070000u + static_cast<uint32_t>(call));
  }

 private:
  vornakel::Status record(int step) {
    calls.push_back(step);
    if (calls.size() - 1 == failing_call_) return failure_of(failing_call_);
    return vornakel::Status{};
  }
  size_t failing_call_;
};

std::u16string take_text(FuzzedDataProvider& input, size_t max_units) {
  std::u16string text;
  const size_t length = input.ConsumeIntegralInRange<size_t>(0, max_units);
  for (size_t i = 0; i < length && input.remaining_bytes() > 0; ++i) {
    // Mostly ASCII so that names are hit, now and then any unit, surrogates included.
    text.push_back(input.ConsumeBool()
                       ? input.ConsumeIntegral<char16_t>()
                       : static_cast<char16_t>(input.ConsumeIntegralInRange(32, 126)));
  }
  return text;
}

void check_dispatch(FuzzedDataProvider& input) {
  std::vector<std::u16string> args;
  const size_t count = input.ConsumeIntegralInRange<size_t>(0, 4);
  for (size_t i = 0; i < count; ++i) {
    std::u16string arg;
    if (input.ConsumeBool()) {
      const auto& row =
          mode_table()[input.ConsumeIntegralInRange<size_t>(0, mode_table().size() - 1)];
      arg = row.name;
      if (input.ConsumeIntegralInRange(0, 7) == 0) arg.push_back(input.ConsumeIntegral<char16_t>());
    } else {
      arg = take_text(input, 20);
    }
    args.push_back(std::move(arg));
  }

  // The expected choice, from the table.
  vornakel::Mode expected_mode = vornakel::Mode::kUnknown;
  std::vector<int> expected_steps;
  if (args.empty() || !vornakel::utf16_to_utf8(args[0])) {
    expected_mode = vornakel::Mode::kService;
    expected_steps = {kDispatcher};
  } else {
    for (const ModeRow& row : mode_table()) {
      if (args[0] == row.name && (row.takes_more || args.size() == 1)) {
        expected_mode = row.mode;
        expected_steps = row.steps;
      }
    }
  }
  const vornakel::ModeSelection selection = vornakel::select_mode(args);
  require(selection.mode == expected_mode, "the mode follows the table");
  if (expected_mode == vornakel::Mode::kCapture) {
    require(selection.capture_args == std::vector<std::u16string>(args.begin() + 1, args.end()),
            "the capture arguments are handed on unchanged");
  }

  const size_t failing_call = input.ConsumeIntegralInRange<size_t>(0, 3);
  RecordingSteps steps(failing_call);
  const vornakel::Status status = vornakel::run_mode(selection, steps);
  if (expected_mode == vornakel::Mode::kUnknown) {
    require(steps.calls.empty() && !status.ok() &&
                status.error().text() == vornakel::kUnknownServiceOperation,
            "an unknown operation runs nothing and says so");
    return;
  }
  if (failing_call < expected_steps.size()) {
    expected_steps.resize(failing_call + 1);
    require(!status.ok() && status.error() == RecordingSteps::failure_of(failing_call),
            "the first failing step ends the mode with its error");
  } else {
    require(status.ok(), "a mode whose steps all succeed succeeds");
  }
  require(steps.calls == expected_steps, "the steps run in the table's order");
  if (expected_mode == vornakel::Mode::kCapture && failing_call >= 2) {
    require(steps.capture_args == selection.capture_args, "the capture host gets the arguments");
  }
}

constexpr std::array<std::u16string_view, 7> kCopied = {u"SystemRoot",  u"WINDIR",  u"ProgramFiles",
                                                        u"ProgramData", u"COMSPEC", u"SystemDrive",
                                                        u"COMPUTERNAME"};

class MapEnvironment final : public vornakel::EnvironmentReader {
 public:
  std::map<std::u16string, std::u16string> variables;
  std::optional<std::u16string> get(std::u16string_view name) const override {
    const auto found = variables.find(std::u16string(name));
    if (found == variables.end()) return std::nullopt;
    return found->second;
  }
};

std::u16string upper_ascii(std::u16string_view name) {
  std::u16string out(name);
  for (char16_t& c : out) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  }
  return out;
}

std::u16string lossy(std::u16string_view text) {
  return *vornakel::utf8_to_utf16(vornakel::utf16_to_utf8_lossy(text));
}

bool is_joined(std::u16string_view value, std::u16string_view dir, std::u16string_view leaf) {
  const std::u16string base = lossy(dir);
  const bool ends_in_separator = !base.empty() && (base.back() == u'\\' || base.back() == u'/');
  return value == base + u"\\" + std::u16string(leaf) ||
         (ends_in_separator && value == base + std::u16string(leaf));
}

void check_environment(FuzzedDataProvider& input) {
  MapEnvironment service;
  // Variables outside the allow-list must never get through; the block cannot carry a zero unit,
  // and the operating system never hands one out in a value, so none is generated.
  const auto value = [&input] {
    std::u16string text = take_text(input, 24);
    for (char16_t& c : text) c = c == 0 ? u'0' : c;
    return text;
  };
  for (std::u16string_view name : kCopied) {
    if (input.ConsumeBool()) service.variables[std::u16string(name)] = value();
  }
  for (std::u16string_view other :
       {u"USERPROFILE", u"APPDATA", u"PATH", u"TEMP", u"NODE_OPTIONS"}) {
    if (input.ConsumeBool()) service.variables[std::u16string(other)] = value();
  }
  const std::u16string version_dir = value();
  const std::u16string private_dir = value();

  const std::u16string block = vornakel::build_agent_environment(service, version_dir, private_dir);
  require(block.size() >= 2 && block.substr(block.size() - 2) == std::u16string(2, u'\0'),
          "the block ends with two zero units");
  std::map<std::u16string, std::u16string> entries;
  std::u16string previous_key;
  size_t at = 0;
  while (at < block.size() - 1) {
    const size_t end = block.find(u'\0', at);
    const std::u16string entry = block.substr(at, end - at);
    const size_t equals = entry.find(u'=');
    require(equals != std::u16string::npos && equals > 0, "every entry is KEY=value");
    const std::u16string key = entry.substr(0, equals);
    require(entries.empty() ||
                vornakel::utf16_to_utf8_lossy(previous_key) < vornakel::utf16_to_utf8_lossy(key),
            "keys are unique and in ascending byte order");
    entries[key] = entry.substr(equals + 1);
    previous_key = key;
    at = end + 1;
  }

  std::u16string system_root = u"C:\\Windows";
  for (std::u16string_view name : kCopied) {
    const auto given = service.get(name);
    const bool valid = given && vornakel::utf16_to_utf8(*given).has_value();
    const auto found = entries.find(upper_ascii(name));
    require((found != entries.end()) == valid, "a copied variable is present when set and valid");
    if (valid) {
      require(found->second == *given, "a copied variable keeps its value");
      if (name == u"SystemRoot") system_root = *given;
      entries.erase(found);
    }
  }
  const std::u16string path_tail =
      u";" + system_root + u"\\System32;" + system_root + u"\\System32\\WindowsPowerShell\\v1.0";
  const std::u16string path = entries[u"PATH"];
  require(path.size() >= path_tail.size() &&
              path.substr(path.size() - path_tail.size()) == path_tail &&
              is_joined(std::u16string_view(path).substr(0, path.size() - path_tail.size()),
                        version_dir, u"runtime"),
          "PATH names the runtime folder, then the system folders");
  require(is_joined(entries[u"TEMP"], private_dir, u"tmp") && entries[u"TMP"] == entries[u"TEMP"],
          "TEMP and TMP name the private tmp folder");
  require(is_joined(entries[u"VORNAKEL_SERVICE_STATE_DIR"], private_dir, u"state"),
          "the state folder lies in the private folder");
  require(entries[u"VORNAKEL_WINDOWS_SERVICE"] == u"1" &&
              entries[u"VORNAKEL_MEDIA_ENGINE"] == u"werift",
          "the fixed entries");
  require(entries.size() == 6, "nothing else reaches the agent");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  if (input.ConsumeBool()) {
    check_dispatch(input);
  } else {
    check_environment(input);
  }
  return 0;
}
