// How paths become text for a child's environment and command line.
#ifndef VORNAKEL_SERVICE_HOST_PATH_TEXT_H_
#define VORNAKEL_SERVICE_HOST_PATH_TEXT_H_

#include <string>
#include <string_view>

namespace vornakel {

// The path as Unicode text: every unpaired UTF-16 surrogate becomes U+FFFD.
std::u16string path_text(std::u16string_view path);

}  // namespace vornakel

#endif  // VORNAKEL_SERVICE_HOST_PATH_TEXT_H_
