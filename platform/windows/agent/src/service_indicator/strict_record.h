// The strict reader behind the indicator's two JSON records (the built-in brand and the session
// line): one object whose members are all required, each a string or an array of strings, none
// unknown and none repeated. Nothing may be nested deeper, so the shape itself bounds the depth.
#ifndef VORNAKEL_SERVICE_INDICATOR_STRICT_RECORD_H_
#define VORNAKEL_SERVICE_INDICATOR_STRICT_RECORD_H_

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"

namespace vornakel::service_indicator {

enum class MemberShape { kString, kStringArray };

struct MemberSpec {
  std::string_view name;
  MemberShape shape;
};

// The value of one member: `text` for a string, `items` (in document order) for an array.
struct MemberValue {
  std::string text;
  std::vector<std::string> items;
};

// Parses `document` into one value per spec, in the order of `members`. Any failure is a JSON
// error whose text starts with `record` (for example "invalid indicator session") or is the JSON
// library's own wording of a syntax error.
Result<std::vector<MemberValue>> parse_strict_record(std::string_view document,
                                                     std::span<const MemberSpec> members,
                                                     std::string_view record);

}  // namespace vornakel::service_indicator

#endif  // VORNAKEL_SERVICE_INDICATOR_STRICT_RECORD_H_
