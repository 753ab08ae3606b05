// Linked into every fuzz target: the service's diagnostic lines stay unwritten, as millions of
// inputs would each log their own.
#include "platform/log.h"

namespace {

const platform::QuietLog kQuietLog;

}  // namespace
