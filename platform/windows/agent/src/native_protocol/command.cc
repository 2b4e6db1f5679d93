#include "native_protocol/command.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace vornakel::native_protocol {
namespace {

using nlohmann::json;

// One member value as the parser delivered it. Numbers keep their JSON form (integer of either
// sign, or a number with fraction/exponent and its text) so that each member can insist on its
// own exact type afterwards.
struct Value {
  enum class Kind { kString, kBool, kSigned, kUnsigned, kFloat, kObject };
  Kind kind = Kind::kString;
  std::string text;  // string value, or the number's text for kFloat
  bool boolean = false;
  int64_t signed_value = 0;
  uint64_t unsigned_value = 0;
  double float_value = 0;
};

struct Member {
  std::string name;
  Value value;
};

using Members = std::vector<Member>;

// Every member name any command variant has; anything else is refused as soon as it is read.
constexpr std::array<std::string_view, 10> kCommandNames = {
    "type", "message", "dx", "dy", "id", "x", "y", "width", "height", "expiresAtUnixS"};
constexpr std::array<std::string_view, 12> kMessageNames = {
    "type",       "v",        "seq",  "x",    "y",         "buttons",
    "horizontal", "vertical", "code", "down", "modifiers", "paused"};

template <size_t N>
bool contains(const std::array<std::string_view, N>& names, std::string_view name) {
  for (std::string_view candidate : names) {
    if (candidate == name) return true;
  }
  return false;
}

// Collects the command object and, one level down, the control message object. No member of
// either document holds an array or a deeper object, so anything deeper is refused on sight; the
// document therefore never nests beyond two levels, well inside the limit of 128.
class CommandCollector : public nlohmann::json_sax<json> {
 public:
  Members command;
  Members message;

  bool null() override { return false; }
  bool boolean(bool val) override {
    Value value;
    value.kind = Value::Kind::kBool;
    value.boolean = val;
    return add(std::move(value));
  }
  bool number_integer(number_integer_t val) override {
    Value value;
    value.kind = Value::Kind::kSigned;
    value.signed_value = val;
    return add(std::move(value));
  }
  bool number_unsigned(number_unsigned_t val) override {
    Value value;
    value.kind = Value::Kind::kUnsigned;
    value.unsigned_value = val;
    return add(std::move(value));
  }
  bool number_float(number_float_t val, const string_t& text) override {
    Value value;
    value.kind = Value::Kind::kFloat;
    value.float_value = val;
    value.text = text;
    return add(std::move(value));
  }
  bool string(string_t& val) override {
    Value value;
    value.kind = Value::Kind::kString;
    value.text = std::move(val);
    return add(std::move(value));
  }
  bool binary(binary_t&) override { return false; }
  bool start_object(std::size_t) override {
    if (depth_ == 0 && !finished_) {
      depth_ = 1;
      return true;
    }
    if (depth_ == 1 && key_ == "message") {
      Value value;
      value.kind = Value::Kind::kObject;
      if (!add(std::move(value))) return false;
      depth_ = 2;
      return true;
    }
    return false;
  }
  bool key(string_t& val) override {
    if (depth_ == 1 ? !contains(kCommandNames, val) : !contains(kMessageNames, val)) return false;
    for (const Member& member : level()) {
      if (member.name == val) return false;  // a member given twice
    }
    key_ = std::move(val);
    return true;
  }
  bool end_object() override {
    --depth_;
    if (depth_ == 0) finished_ = true;
    return true;
  }
  bool start_array(std::size_t) override { return false; }
  bool end_array() override { return false; }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
    return false;
  }

  bool finished() const { return finished_; }

 private:
  Members& level() { return depth_ == 2 ? message : command; }
  bool add(Value value) {
    if (depth_ == 0) return false;  // the document itself must be an object
    if (depth_ == 1 && key_ == "message" && value.kind != Value::Kind::kObject) return false;
    level().push_back(Member{key_, std::move(value)});
    return true;
  }

  int depth_ = 0;
  bool finished_ = false;
  std::string key_;
};

// Typed access to one variant's members; every lookup insists on the exact JSON type and range.
class Reader {
 public:
  explicit Reader(const Members& members) : members_(members) {}

  // True when the members are exactly "type" plus `names`.
  template <typename... Names>
  bool has_exactly(Names... names) const {
    if (members_.size() != 1 + sizeof...(names)) return false;
    return (find(names) && ...);
  }

  const Value* find(std::string_view name) const {
    for (const Member& member : members_) {
      if (member.name == name) return &member.value;
    }
    return nullptr;
  }

  std::optional<std::string> string(std::string_view name) const {
    const Value* value = find(name);
    if (!value || value->kind != Value::Kind::kString) return std::nullopt;
    return value->text;
  }

  std::optional<bool> boolean(std::string_view name) const {
    const Value* value = find(name);
    if (!value || value->kind != Value::Kind::kBool) return std::nullopt;
    return value->boolean;
  }

  template <typename Int>
  std::optional<Int> integer(std::string_view name) const {
    const Value* value = find(name);
    if (!value) return std::nullopt;
    if (value->kind == Value::Kind::kUnsigned) {
      if (value->unsigned_value > static_cast<uint64_t>(std::numeric_limits<Int>::max())) {
        return std::nullopt;
      }
      return static_cast<Int>(value->unsigned_value);
    }
    if (value->kind == Value::Kind::kSigned) {
      if constexpr (std::numeric_limits<Int>::is_signed) {
        if (value->signed_value < std::numeric_limits<Int>::min() ||
            value->signed_value > std::numeric_limits<Int>::max()) {
          return std::nullopt;
        }
        return static_cast<Int>(value->signed_value);
      } else {
        if (value->signed_value < 0) return std::nullopt;
        if (static_cast<uint64_t>(value->signed_value) > std::numeric_limits<Int>::max()) {
          return std::nullopt;
        }
        return static_cast<Int>(value->signed_value);
      }
    }
    return std::nullopt;  // a fraction or an exponent, or no number at all
  }

  // Any JSON number, rounded once to the nearest 32-bit float.
  std::optional<float> float32(std::string_view name) const {
    const Value* value = find(name);
    if (!value) return std::nullopt;
    switch (value->kind) {
      case Value::Kind::kSigned:
        return static_cast<float>(value->signed_value);
      case Value::Kind::kUnsigned:
        return static_cast<float>(value->unsigned_value);
      case Value::Kind::kFloat:
        return float_from_text(*value);
      default:
        return std::nullopt;
    }
  }

 private:
  // Rounding the decimal text straight to float avoids the double rounding of going through the
  // parser's double. The parser writes the C locale's decimal point into the text (a comma under a
  // German locale, say), so the text is read back with a full stop: the number itself is JSON and
  // knows only the full stop.
  static std::optional<float> float_from_text(const Value& value) {
    std::string text = value.text;
    for (char& c : text) {
      const bool number_char =
          (c >= '0' && c <= '9') || c == '-' || c == '+' || c == 'e' || c == 'E';
      if (!number_char) c = '.';
    }
    float result = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    const auto [end, error] = std::from_chars(first, last, result, std::chars_format::general);
    if (end != last) return std::nullopt;
    if (error == std::errc()) return result;
    if (error != std::errc::result_out_of_range) return std::nullopt;
    // Out of float range: too large becomes infinite (refused later by the range checks), too
    // small becomes zero of the same sign. The parser's double tells which: it is finite (the
    // parser refuses anything beyond double range) and right in any locale.
    const double d = value.float_value;
    const float sign = std::signbit(d) ? -1.0f : 1.0f;
    if (std::fabs(d) >= 1.0) return sign * std::numeric_limits<float>::infinity();
    return sign * 0.0f;
  }

  const Members& members_;
};

std::optional<ControlMessage> read_message(const Members& members) {
  Reader reader(members);
  const std::optional<std::string> type = reader.string("type");
  const std::optional<uint32_t> v = reader.integer<uint32_t>("v");
  const std::optional<uint32_t> seq = reader.integer<uint32_t>("seq");
  if (!type || !v || !seq) return std::nullopt;
  ControlMessage message{*v, *seq, ControlMessage::ReleaseAll{}};
  if (*type == "pointer") {
    if (!reader.has_exactly("v", "seq", "x", "y", "buttons")) return std::nullopt;
    const auto x = reader.float32("x");
    const auto y = reader.float32("y");
    const auto buttons = reader.integer<uint8_t>("buttons");
    if (!x || !y || !buttons) return std::nullopt;
    message.body = ControlMessage::Pointer{*x, *y, *buttons};
  } else if (*type == "scroll") {
    if (!reader.has_exactly("v", "seq", "horizontal", "vertical")) return std::nullopt;
    const auto horizontal = reader.integer<int32_t>("horizontal");
    const auto vertical = reader.integer<int32_t>("vertical");
    if (!horizontal || !vertical) return std::nullopt;
    message.body = ControlMessage::Scroll{*horizontal, *vertical};
  } else if (*type == "key-transition") {
    if (!reader.has_exactly("v", "seq", "code", "down", "modifiers")) return std::nullopt;
    auto code = reader.string("code");
    const auto down = reader.boolean("down");
    const auto modifiers = reader.integer<uint8_t>("modifiers");
    if (!code || !down || !modifiers) return std::nullopt;
    message.body = ControlMessage::KeyTransition{std::move(*code), *down, *modifiers};
  } else if (*type == "pause-input") {
    if (!reader.has_exactly("v", "seq", "paused")) return std::nullopt;
    const auto paused = reader.boolean("paused");
    if (!paused) return std::nullopt;
    message.body = ControlMessage::PauseInput{*paused};
  } else if (*type == "release-all") {
    if (!reader.has_exactly("v", "seq")) return std::nullopt;
    message.body = ControlMessage::ReleaseAll{};
  } else if (*type == "stop") {
    if (!reader.has_exactly("v", "seq")) return std::nullopt;
    message.body = ControlMessage::Stop{};
  } else {
    return std::nullopt;
  }
  return message;
}

std::optional<Command> read_command(const CommandCollector& collected) {
  Reader reader(collected.command);
  const std::optional<std::string> type = reader.string("type");
  if (!type) return std::nullopt;
  if (*type == "close") {
    if (!reader.has_exactly()) return std::nullopt;
    return Command{Command::Close{}};
  }
  if (*type == "control") {
    const Value* message = reader.find("message");
    if (!reader.has_exactly("message") || message->kind != Value::Kind::kObject) {
      return std::nullopt;
    }
    std::optional<ControlMessage> control = read_message(collected.message);
    if (!control) return std::nullopt;
    return Command{Command::Control{std::move(*control)}};
  }
  if (*type == "relative") {
    if (!reader.has_exactly("dx", "dy")) return std::nullopt;
    const auto dx = reader.integer<int32_t>("dx");
    const auto dy = reader.integer<int32_t>("dy");
    if (!dx || !dy) return std::nullopt;
    return Command{Command::Relative{*dx, *dy}};
  }
  if (*type == "display") {
    if (!reader.has_exactly("id", "x", "y", "width", "height")) return std::nullopt;
    auto id = reader.string("id");
    const auto x = reader.integer<int32_t>("x");
    const auto y = reader.integer<int32_t>("y");
    const auto width = reader.integer<uint32_t>("width");
    const auto height = reader.integer<uint32_t>("height");
    if (!id || !x || !y || !width || !height) return std::nullopt;
    return Command{Command::Display{std::move(*id), *x, *y, *width, *height}};
  }
  if (*type == "carry") {
    if (!reader.has_exactly("expiresAtUnixS")) return std::nullopt;
    const auto expires = reader.integer<uint64_t>("expiresAtUnixS");
    if (!expires) return std::nullopt;
    return Command{Command::Carry{*expires}};
  }
  return std::nullopt;
}

uint32_t magnitude(int32_t value) {
  return value < 0 ? static_cast<uint32_t>(-(static_cast<int64_t>(value)))
                   : static_cast<uint32_t>(value);
}

}  // namespace

std::optional<Command> parse_command(std::string_view line) {
  // The parser's lexer takes a NUL byte for the end of its input, which would let anything after
  // it through; no JSON text can contain a raw NUL, so refusing it up front loses nothing.
  if (line.find('\0') != std::string_view::npos) return std::nullopt;
  // The parser would also skip a UTF-8 byte order mark before the document; only JSON whitespace
  // may surround a command.
  if (line.starts_with("\xEF\xBB\xBF")) return std::nullopt;
  CommandCollector collector;
  bool parsed = false;
  try {
    parsed = json::sax_parse(line.begin(), line.end(), &collector, json::input_format_t::json,
                             /*strict=*/true, /*ignore_comments=*/false);
  } catch (...) {
    // The parser reports through the handler; only an allocation failure can get here.
    return std::nullopt;
  }
  if (!parsed || !collector.finished()) return std::nullopt;
  return read_command(collector);
}

bool relative_in_range(const Command::Relative& relative) {
  return magnitude(relative.dx) <= 10000 && magnitude(relative.dy) <= 10000;
}

bool display_in_range(const Command::Display& display) {
  if (magnitude(display.x) > 262144 || magnitude(display.y) > 262144) return false;
  if (display.width < 2 || display.width > 32768) return false;
  if (display.height < 2 || display.height > 32768) return false;
  if (display.id.empty() || display.id.size() > 32) return false;
  for (char c : display.id) {
    const bool alphanumeric =
        (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (!alphanumeric) return false;
  }
  return true;
}

}  // namespace vornakel::native_protocol
