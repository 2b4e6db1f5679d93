#include "service_indicator/strict_record.h"

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>

namespace vornakel::service_indicator {
namespace {

using Json = nlohmann::json;

constexpr size_t kNoMember = SIZE_MAX;

class RecordSax final : public nlohmann::json_sax<Json> {
 public:
  RecordSax(std::span<const MemberSpec> members, std::string_view record)
      : members_(members), record_(record), values_(members.size()), seen_(members.size()) {}

  bool null() override { return wrong_type(); }
  bool boolean(bool) override { return wrong_type(); }
  bool number_integer(number_integer_t) override { return wrong_type(); }
  bool number_unsigned(number_unsigned_t) override { return wrong_type(); }
  bool number_float(number_float_t, const string_t&) override { return wrong_type(); }
  bool binary(binary_t&) override { return wrong_type(); }

  bool string(string_t& value) override {
    if (in_array_) {
      values_[awaiting_].items.push_back(std::move(value));
      return true;
    }
    if (awaiting_ == kNoMember || members_[awaiting_].shape != MemberShape::kString) {
      return wrong_type();
    }
    values_[awaiting_].text = std::move(value);
    awaiting_ = kNoMember;
    return true;
  }

  bool start_object(std::size_t) override {
    if (started_) return wrong_type();
    started_ = true;
    return true;
  }

  bool end_object() override {
    for (size_t i = 0; i < members_.size(); ++i) {
      if (!seen_[i]) return fail("missing member " + quoted(members_[i].name));
    }
    done_ = true;
    return true;
  }

  bool start_array(std::size_t) override {
    if (in_array_ || awaiting_ == kNoMember ||
        members_[awaiting_].shape != MemberShape::kStringArray) {
      return wrong_type();
    }
    in_array_ = true;
    return true;
  }

  bool end_array() override {
    in_array_ = false;
    awaiting_ = kNoMember;
    return true;
  }

  bool key(string_t& name) override {
    for (size_t i = 0; i < members_.size(); ++i) {
      if (members_[i].name != name) continue;
      if (seen_[i]) return fail("repeated member " + quoted(name));
      seen_[i] = true;
      awaiting_ = i;
      return true;
    }
    return fail("unknown member " + quoted(name));
  }

  bool parse_error(std::size_t, const std::string&,
                   const nlohmann::detail::exception& ex) override {
    // The library's own wording, position included.
    if (!error_) error_ = ex.what();
    return false;
  }

  bool complete() const { return done_ && !error_; }
  const std::optional<std::string>& error() const { return error_; }
  std::vector<MemberValue> take() { return std::move(values_); }

 private:
  static std::string quoted(std::string_view name) {
    // dump() escapes control characters, so a hostile name reaches standard error inert.
    return Json(std::string(name)).dump(-1, ' ', false, Json::error_handler_t::replace);
  }

  bool fail(std::string message) {
    if (!error_) error_ = std::string(record_) + ": " + std::move(message);
    return false;
  }

  // A value of the wrong kind, or a container where none may be.
  bool wrong_type() {
    if (!started_) return fail("the document must be an object");
    if (awaiting_ == kNoMember) return fail("unexpected value");
    const MemberSpec& member = members_[awaiting_];
    return fail("member " + quoted(member.name) +
                (member.shape == MemberShape::kString ? " must be a string"
                                                      : " must be an array of strings"));
  }

  std::span<const MemberSpec> members_;
  std::string_view record_;
  std::vector<MemberValue> values_;
  std::vector<bool> seen_;
  size_t awaiting_ = kNoMember;
  bool started_ = false;
  bool in_array_ = false;
  bool done_ = false;
  std::optional<std::string> error_;
};

}  // namespace

Result<std::vector<MemberValue>> parse_strict_record(std::string_view document,
                                                     std::span<const MemberSpec> members,
                                                     std::string_view record) {
  // The lexer takes a NUL byte for the end of its input and would ignore whatever follows, and it
  // skips a byte order mark, which is not JSON white space. No valid record contains either.
  if (const size_t nul = document.find('\0'); nul != std::string_view::npos) {
    return Error::json(std::string(record) + ": NUL byte at offset " + std::to_string(nul));
  }
  if (document.starts_with("\xEF\xBB\xBF")) {
    return Error::json(std::string(record) + ": byte order mark before the document");
  }
  RecordSax sax(members, record);
  bool parsed = false;
  try {
    parsed = Json::sax_parse(document, &sax, Json::input_format_t::json, /*strict=*/true,
                             /*ignore_comments=*/false);
  } catch (...) {
    // The SAX parser reports through the handler; nothing may escape this unit regardless.
    parsed = false;
  }
  if (sax.error()) return Error::json(*sax.error());
  if (!parsed || !sax.complete()) return Error::json(std::string(record) + ": incomplete document");
  return sax.take();
}

}  // namespace vornakel::service_indicator
