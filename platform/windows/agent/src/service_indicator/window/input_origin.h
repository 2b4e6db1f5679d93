// Which input the indicator refuses: what the remote operator injects. The input host marks every
// event it injects with a fixed extra-information value, which Windows hands back with the mouse
// and keyboard messages it makes of that event. The person's own devices never carry it.
#ifndef VORNAKEL_SERVICE_INDICATOR_WINDOW_INPUT_ORIGIN_H_
#define VORNAKEL_SERVICE_INDICATOR_WINDOW_INPUT_ORIGIN_H_

#include <cstdint>

namespace vornakel::service_indicator {

// Whether the window thread must drop `message` (a window message number) retrieved with
// `extra_info` (GetMessageExtraInfo) instead of dispatching it: a mouse message in the client or
// non-client area (so no button is pressed and no move begins) or a keyboard message (so a focused
// button is not pressed by its key either) that the input host injected.
bool is_remote_input(uint32_t message, uint64_t extra_info);

}  // namespace vornakel::service_indicator

#endif  // VORNAKEL_SERVICE_INDICATOR_WINDOW_INPUT_ORIGIN_H_
