#include "platform/service_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

std::unique_ptr<ServiceLock> ServiceLock::acquire(const std::string& path) {
  const int descriptor = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (descriptor < 0) return nullptr;
  int locked;
  while ((locked = ::flock(descriptor, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
  }
  if (locked != 0) {
    ::close(descriptor);
    return nullptr;
  }
  return std::unique_ptr<ServiceLock>(new ServiceLock(descriptor));
}

ServiceLock::~ServiceLock() { ::close(descriptor_); }

}  // namespace platform
