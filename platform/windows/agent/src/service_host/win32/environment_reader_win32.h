// The service's real process environment.
#ifndef VORNAKEL_SERVICE_HOST_WIN32_ENVIRONMENT_READER_WIN32_H_
#define VORNAKEL_SERVICE_HOST_WIN32_ENVIRONMENT_READER_WIN32_H_

#include "service_host/environment_reader.h"

namespace vornakel::win32 {

class ProcessEnvironmentReader : public EnvironmentReader {
 public:
  std::optional<std::u16string> get(std::u16string_view name) const override;
};

}  // namespace vornakel::win32

#endif  // VORNAKEL_SERVICE_HOST_WIN32_ENVIRONMENT_READER_WIN32_H_
