#include "entry/note.h"

#include <unistd.h>

#include <cerrno>

namespace vornakel::capture {

std::string noteLine(std::string_view text) {
  std::string line;
  line.reserve(kNotePrefix.size() + text.size() + 1);
  line.append(kNotePrefix).append(text).push_back('\n');
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
