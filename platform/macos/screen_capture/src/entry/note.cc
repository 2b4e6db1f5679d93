#include "entry/note.h"

#include <unistd.h>

#include <cerrno>

namespace vornakel::capture {

std::string noteLine(std::string_view text) {
  std::string line;
  line.reserve(kNotePrefix.size() + text.size() + 1);
  line.append(kNotePrefix);
  // A note may quote an argument as given: a line feed or another control byte in it must not
  // start a line of its own that a reader would take for the helper's.
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      line.append("\\x").push_back(kHex[byte >> 4]);
      line.push_back(kHex[byte & 0x0F]);
    } else {
      line.push_back(c);
    }
  }
  line.push_back('\n');
  return line;
}

void note(std::string_view text) { note(STDERR_FILENO, text); }

void note(int descriptor, std::string_view text) {
  const std::string line = noteLine(text);
  size_t offset = 0;
  // Normally one write; the loop only covers a signal or a short write on a full pipe.
  while (offset < line.size()) {
    const ssize_t written = ::write(descriptor, line.data() + offset, line.size() - offset);
    if (written > 0) {
      offset += static_cast<size_t>(written);
    } else if (written < 0 && errno == EINTR) {
      continue;
    } else {
      return;  // Nobody reads standard error: nothing else can be done with the message.
    }
  }
}

}  // namespace vornakel::capture
