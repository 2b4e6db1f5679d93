#include "entry/process_exit.h"

#include <unistd.h>

namespace vornakel::capture {

void exitNow(int status) { _exit(status); }

}  // namespace vornakel::capture
