// Test support: while one of these lives, no file of the process may grow. The file-size limit
// is zero and SIGXFSZ ignored, so that every write that would lengthen a file fails (EFBIG) as
// on a full card; the limit and the signal's handling are put back when it goes.
#pragma once

#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <system_error>

namespace platform {

class FileGrowthRefused {
 public:
  FileGrowthRefused() {
    if (getrlimit(RLIMIT_FSIZE, &saved_) != 0) throw std::system_error(errno, std::generic_category(), "getrlimit");
    rlimit none = saved_;
    none.rlim_cur = 0;
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    if (setrlimit(RLIMIT_FSIZE, &none) != 0) throw std::system_error(errno, std::generic_category(), "setrlimit");
  }
  ~FileGrowthRefused() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, oldHandler_);
  }
  FileGrowthRefused(const FileGrowthRefused&) = delete;
  FileGrowthRefused& operator=(const FileGrowthRefused&) = delete;

 private:
  rlimit saved_{};
  void (*oldHandler_)(int) = SIG_DFL;
};

}  // namespace platform
