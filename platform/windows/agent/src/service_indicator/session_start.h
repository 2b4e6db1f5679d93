// The one line the agent writes to the indicator: who is connected and what they may do. It is
// read under a fixed bound, parsed strictly and checked rule by rule before anything is shown.
#ifndef VORNAKEL_SERVICE_INDICATOR_SESSION_START_H_
#define VORNAKEL_SERVICE_INDICATOR_SESSION_START_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "native_protocol/framing.h"

namespace vornakel::service_indicator {

// The line feed included.
inline constexpr size_t kSessionLineBound = 4096;

inline constexpr char kSessionLineOutOfBound[] = "Indicator message exceeds its bound";
inline constexpr char kInvalidSessionMetadata[] = "Invalid indicator session metadata";

struct Start {
  std::string session_id;                // sessionId: validated, never shown
  std::string requester_name;            // requesterName
  std::vector<std::string> permissions;  // permissions, duplicates and order as received
};

// One framed line of at most kSessionLineBound bytes. Nothing, an over-long line and a line cut
// off by the end of input all give kSessionLineOutOfBound; a read error is returned as it is.
Result<std::string> read_session_line(native_protocol::ByteSource& input);

// Strict: the three members with their JSON types, nothing else. A failure is the parser's error.
Result<Start> parse_start(std::string_view line);

// sessionId, then requesterName, then permissions; any broken rule gives kInvalidSessionMetadata.
Status validate_start(const Start& start);

// "Connected: <name>", "Granted permissions:" and one line per permission, joined by CR LF.
std::string details_text(const Start& start);

}  // namespace vornakel::service_indicator

#endif  // VORNAKEL_SERVICE_INDICATOR_SESSION_START_H_
