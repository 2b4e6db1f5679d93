// Builds the input backend for one display.
#ifndef VORNAKEL_NATIVE_PROTOCOL_INJECTION_INPUT_BACKEND_FACTORY_H_
#define VORNAKEL_NATIVE_PROTOCOL_INJECTION_INPUT_BACKEND_FACTORY_H_

#include <memory>

#include "common/result.h"
#include "native_protocol/adapter_error.h"
#include "native_protocol/injection/display_record.h"
#include "native_protocol/injection/input_action.h"

namespace vornakel::native_protocol {

class InputBackendFactory {
 public:
  virtual ~InputBackendFactory() = default;
  virtual Result<std::unique_ptr<InputBackend>, AdapterError> create_backend(
      const DisplayRecord& display) = 0;
};

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_INJECTION_INPUT_BACKEND_FACTORY_H_
