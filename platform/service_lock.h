// One service per board: an exclusive lock on a lock file, held for as long as the lock object
// lives (for the service, the life of the process). The lock goes with the process, so a
// service that died leaves nothing to clean up.
#pragma once

#include <memory>
#include <string>

namespace platform {

class ServiceLock {
 public:
  // Takes the lock on the file at `path` (created when missing); empty when another holder has
  // it or the file cannot be opened.
  static std::unique_ptr<ServiceLock> acquire(const std::string& path);
  ~ServiceLock();
  ServiceLock(const ServiceLock&) = delete;
  ServiceLock& operator=(const ServiceLock&) = delete;

 private:
  explicit ServiceLock(int descriptor) : descriptor_(descriptor) {}
  int descriptor_;
};

}  // namespace platform
