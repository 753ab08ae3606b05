#include "tools/host/port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <utility>

#include "platform/sleep.h"

namespace host {
namespace {

using Clock = std::chrono::steady_clock;

int pollMilliseconds(std::chrono::milliseconds timeout) {
  return static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(timeout.count(), 0, 60'000));
}

// A pseudo-terminal master whose slave is not open reports a hang-up (reads fail with EIO)
// until someone opens the slave: that is a line with nothing on it yet, so wait a little.
constexpr std::chrono::milliseconds kHangUpPause{20};

}  // namespace

std::optional<HostPort> HostPort::open(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  int locked = 0;
  while ((locked = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
  }
  termios settings{};
  bool configured = locked == 0 && ::tcgetattr(fd, &settings) == 0;
  if (configured) {
    ::cfmakeraw(&settings);
    ::cfsetispeed(&settings, B115200);
    ::cfsetospeed(&settings, B115200);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    configured = ::tcsetattr(fd, TCSANOW, &settings) == 0 && ::tcflush(fd, TCIFLUSH) == 0;
  }
  if (!configured) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return std::nullopt;
  }
  return HostPort(fd);
}

HostPort::~HostPort() {
  if (fd_ >= 0) ::close(fd_);
}

HostPort::HostPort(HostPort&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), reader_(std::move(other.reader_)) {}

HostPort& HostPort::operator=(HostPort&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    reader_ = std::move(other.reader_);
  }
  return *this;
}

bool HostPort::send(bytes::View data) {
  while (!data.empty()) {
    const ssize_t written = ::write(fd_, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN) return false;
      pollfd writable{fd_, POLLOUT, 0};  // a non-blocking line that is full for now
      ::poll(&writable, 1, -1);
      continue;
    }
    data = data.subspan(static_cast<std::size_t>(written));
  }
  return true;
}

bytes::Bytes HostPort::readSome(std::chrono::milliseconds timeout) {
  pollfd watched{fd_, POLLIN, 0};
  if (::poll(&watched, 1, pollMilliseconds(timeout)) <= 0) return {};
  if ((watched.revents & POLLIN) != 0) {
    std::array<std::uint8_t, 4096> buffer{};
    const ssize_t count = ::read(fd_, buffer.data(), buffer.size());
    if (count > 0) return bytes::Bytes(buffer.begin(), buffer.begin() + count);
  }
  platform::sleepFor(std::min(timeout, kHangUpPause));
  return {};
}

std::optional<bytes::Bytes> HostPort::readFrameBody(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (true) {
    while (auto frame = reader_.next()) {
      if (frame->crcMatches) return std::move(frame->body);
    }
    const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (remaining.count() <= 0) return std::nullopt;
    reader_.feed(readSome(remaining));
  }
}

std::optional<Reply> HostPort::transact(const Request& request, std::chrono::milliseconds timeout) {
  readAvailable(std::chrono::milliseconds(0));
  if (!send(requestFrame(request))) return std::nullopt;
  const auto deadline = Clock::now() + timeout;
  while (true) {
    const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    const auto body = readFrameBody(std::max(remaining, std::chrono::milliseconds(0)));
    if (!body) return std::nullopt;
    auto reply = parseReplyBody(*body);
    if (reply && (request.identifier == 0 || reply->identifier == 0 || reply->identifier == request.identifier)) {
      return reply;
    }
  }
}

bytes::Bytes HostPort::readAvailable(std::chrono::milliseconds quiet) {
  bytes::Bytes received = reader_.takeBuffered();
  while (true) {
    const bytes::Bytes more = readSome(quiet);
    if (more.empty()) return received;
    bytes::appendBytes(received, more);
  }
}

}  // namespace host
