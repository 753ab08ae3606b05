// Linked into every fuzz target: what millions of short inputs need of the process.
#include "platform/log.h"

namespace {

// The service's diagnostic lines stay unwritten, as every input would log its own.
const platform::QuietLog kQuietLog;

}  // namespace

// AddressSanitizer keeps freed memory out of use for 16 MiB of later frees rather than 256:
// an input frees far less, so a use after free within one is still caught, while blocks are
// reused warm instead of new pages being faulted in for every large buffer (twice the inputs
// a second for the targets that start an archive).
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=16"; }
