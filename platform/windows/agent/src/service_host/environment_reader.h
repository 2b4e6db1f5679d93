// Read access to the service's own environment, so that what reaches a child can be decided (and
// tested) without the real process environment.
#ifndef VORNAKEL_SERVICE_HOST_ENVIRONMENT_READER_H_
#define VORNAKEL_SERVICE_HOST_ENVIRONMENT_READER_H_

#include <optional>
#include <string>
#include <string_view>

namespace vornakel {

class EnvironmentReader {
 public:
  virtual ~EnvironmentReader() = default;
  // The variable's value as the OS holds it (it may contain unpaired surrogates), or nullopt when
  // the variable is not set. Names are matched as the OS matches them.
  virtual std::optional<std::u16string> get(std::u16string_view name) const = 0;
};

}  // namespace vornakel

#endif  // VORNAKEL_SERVICE_HOST_ENVIRONMENT_READER_H_
