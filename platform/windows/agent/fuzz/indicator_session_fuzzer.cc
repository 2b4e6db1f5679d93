// The indicator's session line (its bounded read, the strict record reader and the rules), and the
// brand record read by the same reader. Oracles: the read is predicted from the bytes; anything the
// strict reader accepts is well-formed UTF-8 and a JSON object with exactly the expected members,
// each once and of its type, with the values it returned; the session and brand rules are
// re-derived here from their definitions; the details text is rebuilt from its parts.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "native_protocol/framing.h"
#include "service_indicator/brand.h"
#include "service_indicator/display_text.h"
#include "service_indicator/session_start.h"
#include "support/fuzz_oracles.h"

namespace {

using namespace vornakel::service_indicator;
using vornakel::fuzz::require;

class PieceSource final : public vornakel::native_protocol::ByteSource {
 public:
  PieceSource(std::string_view bytes, size_t piece) : bytes_(bytes), piece_(piece) {}
  vornakel::Result<std::span<const uint8_t>> fill() override {
    const size_t count = std::min(piece_, bytes_.size() - position_);
    return std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes_.data()) + position_,
                                    count);
  }
  void consume(size_t count) override { position_ += count; }

 private:
  std::string_view bytes_;
  size_t piece_;
  size_t position_ = 0;
};

// The top-level members of `text` as JSON, each with how often it appears; null when the text is
// not one JSON object.
std::optional<std::pair<nlohmann::json, std::map<std::string, int>>> object_members(
    std::string_view text) {
  // JSON text never holds a raw NUL (inside strings it must be escaped), but this JSON library
  // stops reading at one as if the text ended there.
  if (text.find('\0') != std::string_view::npos) return std::nullopt;
  // The library's reader skips a leading byte order mark; a record is the object alone.
  if (text.substr(0, 3) == "\xEF\xBB\xBF") return std::nullopt;
  std::map<std::string, int> seen;
  const nlohmann::json::parser_callback_t count =
      [&seen](int depth, nlohmann::json::parse_event_t event, nlohmann::json& parsed) {
        if (event == nlohmann::json::parse_event_t::key && depth == 1)
          ++seen[parsed.get<std::string>()];
        return true;
      };
  nlohmann::json document = nlohmann::json::parse(text, count, /*allow_exceptions=*/false);
  if (document.is_discarded() || !document.is_object()) return std::nullopt;
  return std::make_pair(std::move(document), std::move(seen));
}

// Whether `text` is exactly the members `shapes` names (true: array of strings), each once.
bool has_exact_members(const nlohmann::json& document, const std::map<std::string, int>& seen,
                       const std::map<std::string, bool>& shapes) {
  if (seen.size() != shapes.size()) return false;
  for (const auto& [name, count] : seen) {
    const auto shape = shapes.find(name);
    if (shape == shapes.end() || count != 1) return false;
    const nlohmann::json& value = document.at(name);
    if (!shape->second && !value.is_string()) return false;
    if (shape->second &&
        (!value.is_array() ||
         !std::all_of(value.begin(), value.end(), [](const auto& v) { return v.is_string(); }))) {
      return false;
    }
  }
  return true;
}

bool is_hex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool control_free(std::string_view text) {
  const auto scalars = vornakel::fuzz::decode_well_formed_utf8(text);
  return scalars && std::none_of(scalars->begin(), scalars->end(),
                                 [](char32_t c) { return c <= 0x1F || (c >= 0x7F && c <= 0x9F); });
}

bool session_valid_by_model(const Start& start) {
  const std::string& id = start.session_id;
  bool id_ok = id.size() == 36;
  for (size_t i = 0; id_ok && i < id.size(); ++i) {
    const bool hyphen_place = i == 8 || i == 13 || i == 18 || i == 23;
    id_ok = hyphen_place ? id[i] == '-' : is_hex(id[i]);
  }
  const auto name = vornakel::fuzz::decode_well_formed_utf8(start.requester_name);
  const bool name_ok =
      name && !name->empty() && name->size() <= 100 && control_free(start.requester_name);
  bool permissions_ok = !start.permissions.empty() && start.permissions.size() <= 24;
  for (const std::string& entry : start.permissions) {
    permissions_ok = permissions_ok && !entry.empty() && entry.size() <= 40 &&
                     std::all_of(entry.begin(), entry.end(),
                                 [](char c) { return (c >= 'A' && c <= 'Z') || c == '_'; });
  }
  return id_ok && name_ok && permissions_ok;
}

// The name as the details show it: every character the display rule calls hidden becomes U+FFFD,
// every other one keeps its own bytes. Walked here byte by byte, not through UTF-16 as the window
// text is, so a slip in either conversion shows.
std::string shown_as_signed(std::string_view name) {
  const auto scalars = vornakel::fuzz::decode_well_formed_utf8(name);
  require(scalars.has_value(), "a valid name is well-formed UTF-8");
  std::string shown;
  size_t at = 0;
  for (const char32_t c : *scalars) {
    const auto lead = static_cast<unsigned char>(name[at]);
    const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    shown += is_hidden_character(c) ? std::string_view("\xEF\xBF\xBD") : name.substr(at, length);
    at += length;
  }
  return shown;
}

void check_session(std::string_view bytes, size_t piece) {
  PieceSource source(bytes, piece);
  const auto line = read_session_line(source);
  const size_t feed = bytes.substr(0, kSessionLineBound + 1).find('\n');
  const bool framed = feed != std::string_view::npos && feed + 1 <= kSessionLineBound;
  require(line.ok() == framed, "a session line is 1 to 4096 bytes ending in its first line feed");
  if (!line.ok()) {
    require(line.error().text() == kSessionLineOutOfBound, "an unframed line is out of bound");
  } else {
    require(line.value() == bytes.substr(0, feed + 1), "the line is the bytes up to its line feed");
  }

  // The record rules apply to the whole input as well, to reach them without a line feed.
  const auto start = parse_start(bytes);
  const auto members = object_members(bytes);
  const bool shaped =
      members &&
      has_exact_members(members->first, members->second,
                        {{"sessionId", false}, {"requesterName", false}, {"permissions", true}});
  require(start.ok() == shaped,
          "a session record is exactly its three members, once each, of their types");
  if (!start.ok()) return;
  require(vornakel::fuzz::is_well_formed_utf8(bytes), "an accepted record is well-formed UTF-8");
  const nlohmann::json& document = members->first;
  require(start.value().session_id == document["sessionId"] &&
              start.value().requester_name == document["requesterName"] &&
              start.value().permissions == document["permissions"].get<std::vector<std::string>>(),
          "the record's values are those of the document");

  const bool valid = session_valid_by_model(start.value());
  const auto status = validate_start(start.value());
  require(status.ok() == valid, "the session rules");
  if (!valid) {
    require(status.error().text() == kInvalidSessionMetadata,
            "a broken rule gives the one message");
    return;
  }
  std::string details =
      "Connected: " + shown_as_signed(start.value().requester_name) + "\r\nGranted permissions:";
  for (const std::string& entry : start.value().permissions) details += "\r\n" + entry;
  require(details_text(start.value()) == details, "the details text");
}

bool colour_by_model(std::string_view text) {
  return text.size() == 7 && text[0] == '#' && std::all_of(text.begin() + 1, text.end(), is_hex);
}

void check_brand(std::string_view bytes) {
  const auto brand = parse_brand(bytes);
  const auto members = object_members(bytes);
  const bool shaped = members && has_exact_members(members->first, members->second,
                                                   {{"productName", false},
                                                    {"ink", false},
                                                    {"paper", false},
                                                    {"mint", false},
                                                    {"accent", false},
                                                    {"danger", false}});
  require(brand.ok() == shaped, "a brand is exactly its six string members, once each");
  if (!brand.ok()) return;
  require(vornakel::fuzz::is_well_formed_utf8(bytes), "an accepted brand is well-formed UTF-8");
  const Brand& b = brand.value();
  const std::string_view name = b.product_name;
  const bool valid = !name.empty() && name.size() <= 60 && control_free(name) &&
                     colour_by_model(b.ink) && colour_by_model(b.paper) &&
                     colour_by_model(b.mint) && colour_by_model(b.accent) &&
                     colour_by_model(b.danger);
  const auto status = validate_brand(b);
  require(status.ok() == valid, "the brand rules");
  if (!valid)
    require(status.error().text() == kInvalidBrand, "a broken brand gives the one message");
  for (const std::string* colour : {&b.ink, &b.paper, &b.mint, &b.accent, &b.danger}) {
    require(is_colour(*colour) == colour_by_model(*colour), "a colour is # and six hex digits");
    if (!colour_by_model(*colour)) continue;
    const uint32_t rgb = static_cast<uint32_t>(std::stoul(colour->substr(1), nullptr, 16));
    const uint32_t bgr = ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | (rgb >> 16);
    require(colour_value(*colour) == bgr, "a colour's Windows value is 0x00BBGGRR");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] & 0x80) {
    check_brand(bytes);
  } else {
    check_session(bytes, 1 + data[0] % 64 * 97);
  }
  return 0;
}
