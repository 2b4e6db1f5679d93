// The "--input" mode of the program.
#ifndef VORNAKEL_NATIVE_PROTOCOL_WIN32_INPUT_HOST_WIN32_H_
#define VORNAKEL_NATIVE_PROTOCOL_WIN32_INPUT_HOST_WIN32_H_

#include "common/result.h"

namespace vornakel::native_protocol {

// Runs the input host on the process's standard handles until it ends.
Status run_input_host();

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_WIN32_INPUT_HOST_WIN32_H_
