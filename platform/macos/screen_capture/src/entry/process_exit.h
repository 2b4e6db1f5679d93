#pragma once

namespace vornakel::capture {

// Ends the process at once with `status`, from any queue or thread. No exit handlers and no static
// destructors run: the encoder's output thread may still be writing a sample, and tearing down the
// objects it uses under it would be a use after free. Nothing needs flushing, since every output
// is written unbuffered straight to its descriptor.
[[noreturn]] void exitNow(int status);

}  // namespace vornakel::capture
