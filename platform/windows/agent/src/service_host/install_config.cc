#include "service_host/install_config.h"

#include <limits>
#include <nlohmann/json.hpp>
#include <optional>

namespace vornakel {
namespace {

using nlohmann::json;

constexpr std::string_view kDevelopmentSuffix = "-development";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Builds the configuration from parser events, refusing the document at the first event that does
// not fit its one allowed shape. Nothing deeper than the top-level container is ever accepted, so
// the shape itself is the nesting limit: the parser stops at the first nested container.
class ConfigHandler : public nlohmann::json_sax<json> {
 public:
  enum class Member { kNone, kSchemaVersion, kVersion };

  bool null() override { return take_value(Value::kOther); }
  bool boolean(bool) override { return take_value(Value::kOther); }
  // The parser reports here exactly the integers written with a minus sign, -0 among them: none is
  // an unsigned number, whatever its value.
  bool number_integer(number_integer_t) override { return take_value(Value::kOther); }
  bool number_unsigned(number_unsigned_t value) override { return take_unsigned(value); }
  bool number_float(number_float_t, const string_t&) override { return take_value(Value::kOther); }
  bool string(string_t& value) override {
    pending_string_ = std::move(value);
    return take_value(Value::kString);
  }
  bool binary(binary_t&) override { return take_value(Value::kOther); }

  bool start_object(std::size_t) override {
    if (container_ != Container::kNone) return take_value(Value::kOther);
    container_ = Container::kObject;
    return true;
  }
  bool key(string_t& name) override {
    if (name == "schemaVersion") {
      member_ = Member::kSchemaVersion;
    } else if (name == "version") {
      member_ = Member::kVersion;
    } else {
      return fail("unknown member " + quoted(name));
    }
    if (seen(member_)) return fail("duplicate member " + quoted(name));
    return true;
  }
  bool end_object() override {
    if (!have_schema_) return fail("missing member \"schemaVersion\"");
    if (!have_version_) return fail("missing member \"version\"");
    done_ = true;
    return true;
  }
  bool start_array(std::size_t) override {
    if (container_ != Container::kNone) return take_value(Value::kOther);
    container_ = Container::kArray;
    return true;
  }
  bool end_array() override {
    if (array_index_ != 2) return fail("the array form must hold exactly two elements");
    done_ = true;
    return true;
  }
  bool parse_error(std::size_t, const std::string&,
                   const nlohmann::detail::exception& ex) override {
    // The library's own wording, position included.
    error_ = ex.what();
    return false;
  }

  bool complete() const { return done_ && !error_; }
  const std::optional<std::string>& error() const { return error_; }
  InstallConfig take() { return std::move(config_); }

 private:
  enum class Container { kNone, kObject, kArray };
  enum class Value { kUnsigned, kString, kOther };

  static std::string quoted(const std::string& name) {
    // dump() escapes control characters, so a hostile name cannot reach a terminal raw.
    return json(name).dump(-1, ' ', false, json::error_handler_t::replace);
  }

  bool seen(Member member) const {
    return member == Member::kSchemaVersion ? have_schema_ : have_version_;
  }

  bool fail(std::string message) {
    error_ = "invalid service configuration: " + std::move(message);
    return false;
  }

  bool take_unsigned(uint64_t value) {
    pending_unsigned_ = value;
    return take_value(Value::kUnsigned);
  }

  // Routes one scalar (or a nested container start) to the member it belongs to.
  bool take_value(Value value) {
    Member member = Member::kNone;
    switch (container_) {
      case Container::kNone:
        return fail("the document must be an object or a two-element array");
      case Container::kObject:
        member = member_;
        member_ = Member::kNone;
        break;
      case Container::kArray:
        if (array_index_ == 0) member = Member::kSchemaVersion;
        if (array_index_ == 1) member = Member::kVersion;
        if (array_index_ >= 2) return fail("the array form must hold exactly two elements");
        ++array_index_;
        break;
    }
    if (member == Member::kSchemaVersion) {
      if (value != Value::kUnsigned || pending_unsigned_ > std::numeric_limits<uint32_t>::max()) {
        return fail("\"schemaVersion\" must be an unsigned 32-bit integer");
      }
      config_.schema_version = static_cast<uint32_t>(pending_unsigned_);
      have_schema_ = true;
      return true;
    }
    if (member == Member::kVersion) {
      if (value != Value::kString) return fail("\"version\" must be a string");
      config_.version = std::move(pending_string_);
      have_version_ = true;
      return true;
    }
    return fail("unexpected value");
  }

  Container container_ = Container::kNone;
  Member member_ = Member::kNone;
  int array_index_ = 0;
  uint64_t pending_unsigned_ = 0;
  std::string pending_string_;
  bool have_schema_ = false;
  bool have_version_ = false;
  bool done_ = false;
  std::optional<std::string> error_;
  InstallConfig config_;
};

bool is_version_part(std::string_view part) {
  if (part.empty() || part.size() > 6) return false;
  for (char c : part) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace

Result<InstallConfig> parse_install_config(std::string_view text) {
  // The parser would silently skip a UTF-8 byte order mark; only whitespace may surround the
  // document.
  if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
    return Error::json("invalid service configuration: byte order mark before the document");
  }
  // The parser takes a NUL byte for the end of the input and would ignore whatever follows it.
  // No raw NUL can appear in valid JSON, so any one of them ends the document as an error.
  if (const size_t nul = text.find('\0'); nul != std::string_view::npos) {
    return Error::json("invalid service configuration: NUL byte at offset " + std::to_string(nul));
  }
  ConfigHandler handler;
  const bool parsed = json::sax_parse(text.begin(), text.end(), &handler,
                                      json::input_format_t::json, /*strict=*/true);
  if (handler.error()) return Error::json(*handler.error());
  if (!parsed || !handler.complete()) {
    return Error::json("invalid service configuration: incomplete document");
  }
  return handler.take();
}

bool is_valid_version_text(std::string_view version) {
  std::string_view numbers = version;
  if (numbers.size() > 11 &&
      numbers.substr(numbers.size() - kDevelopmentSuffix.size()) == kDevelopmentSuffix) {
    numbers.remove_suffix(kDevelopmentSuffix.size());
  }
  int parts = 0;
  for (;;) {
    const size_t dot = numbers.find('.');
    if (!is_version_part(numbers.substr(0, dot))) return false;
    ++parts;
    if (dot == std::string_view::npos) break;
    numbers.remove_prefix(dot + 1);
  }
  return parts == 3;
}

Status check_install_config(const InstallConfig& config) {
  if (config.schema_version != 1 || !is_valid_version_text(config.version)) {
    return Error::message(kInvalidInstalledVersion);
  }
  return Ok();
}

}  // namespace vornakel
