// The command reader: one detached thread that takes framed command lines off the host's standard
// input and posts them to the command queue, so that the loop never blocks on a read and keeps
// checking the lease and the input desktop.
#ifndef VORNAKEL_NATIVE_PROTOCOL_COMMAND_QUEUE_READER_H_
#define VORNAKEL_NATIVE_PROTOCOL_COMMAND_QUEUE_READER_H_

#include <memory>

#include "common/result.h"
#include "native_protocol/command_queue.h"
#include "native_protocol/framing.h"

namespace vornakel::native_protocol {

// Reads until end of input, a rejected line, a read error or the loop's departure, posting every
// line and finally the end-of-input marker. Runs on the calling thread.
void run_command_reader(ByteSource& source, CommandQueue& queue);

// Starts run_command_reader on a detached thread. The thread keeps its own references to the
// source and the queue, so it stays safe when the loop ends first and the process carries on.
Status start_command_reader(std::shared_ptr<ByteSource> source,
                            std::shared_ptr<CommandQueue> queue);

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_COMMAND_QUEUE_READER_H_
