#include "tools/host/plan_sender.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "link/host_protocol.h"
#include "tools/host/frame.h"

namespace {

using bytes::Bytes;
constexpr int kLost = -1;

// A register on the far end of a socket pair that answers each request with the code its
// command is given in `answers` (0 when not given) or, for kLost, not at all; it records the
// command of every request it read.
class ScriptedRegister {
 public:
  explicit ScriptedRegister(std::map<std::uint8_t, int> answers) : answers_(std::move(answers)) {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) throw std::runtime_error("socketpair");
    hostEnd_ = ends[0];
    registerEnd_ = ends[1];
    thread_ = std::thread([this] { serve(); });
  }
  ~ScriptedRegister() {
    stop_ = true;
    thread_.join();
    ::close(registerEnd_);
  }

  int hostEnd() const { return hostEnd_; }  // owned by the HostPort made on it
  std::vector<std::uint8_t> commands() const {
    const std::lock_guard lock(mutex_);
    return commands_;
  }

 private:
  void serve() {
    host::FrameReader reader(protocol::kMaxRequestBody);
    while (!stop_) {
      pollfd readable{registerEnd_, POLLIN, 0};
      if (::poll(&readable, 1, 20) <= 0) continue;
      std::uint8_t buffer[256];
      const ssize_t count = ::read(registerEnd_, buffer, sizeof buffer);
      if (count <= 0) return;
      reader.feed(bytes::View(buffer, static_cast<std::size_t>(count)));
      while (const auto request = reader.next()) {
        const std::uint8_t command = request->body.at(0);
        {
          const std::lock_guard lock(mutex_);
          commands_.push_back(command);
        }
        const int code = answers_.contains(command) ? answers_.at(command) : 0;
        if (code == kLost) continue;
        Bytes body{static_cast<std::uint8_t>(code)};
        body.insert(body.end(), request->body.begin() + 1, request->body.begin() + 5);  // its identifier
        const Bytes reply = host::frame(body);
        if (::write(registerEnd_, reply.data(), reply.size()) < 0) return;
      }
    }
  }

  std::map<std::uint8_t, int> answers_;
  int hostEnd_ = -1, registerEnd_ = -1;
  std::atomic<bool> stop_ = false;
  mutable std::mutex mutex_;
  std::vector<std::uint8_t> commands_;
  std::thread thread_;
};

host::Plan receiptPlan() {
  return {.steps = {{"open", {.command = protocol::kOpenReceipt}},
                    {"item", {.command = protocol::kAddItem}},
                    {"finish", {.command = protocol::kFinishReceipt}}},
          .opensDocument = true};
}

// What a document's plan does when a request is refused or a reply lost, and what the cancel's
// answer then makes it say.
TEST(SendPlan, UnfinishedDocument_IsCancelledAndTheCancelsAnswerExplained) {
  using protocol::kAddItem, protocol::kCancelDocument, protocol::kFinishReceipt, protocol::kOpenReceipt;
  const struct {
    const char* what;
    std::map<std::uint8_t, int> answers;
    std::vector<std::uint8_t> sent;
    const char* said;  // "" when there is no cancel to speak of
  } cases[] = {
      {"finished", {}, {kOpenReceipt, kAddItem, kFinishReceipt}, ""},
      {"open refused: nothing to cancel", {{kOpenReceipt, 23}}, {kOpenReceipt}, ""},
      {"item refused", {{kAddItem, 42}}, {kOpenReceipt, kAddItem, kCancelDocument},
       "the unfinished document was cancelled"},
      {"open lost, none open", {{kOpenReceipt, kLost}, {kCancelDocument, 29}}, {kOpenReceipt, kCancelDocument},
       "no document was open: the open never reached the register"},
      {"item lost, none open", {{kAddItem, kLost}, {kCancelDocument, 29}},
       {kOpenReceipt, kAddItem, kCancelDocument}, "no document was open: the register no longer held it"},
      {"item lost, cancelled", {{kAddItem, kLost}}, {kOpenReceipt, kAddItem, kCancelDocument},
       "the register still held the document open: it was cancelled"},
      {"cancel refused", {{kAddItem, 42}, {kCancelDocument, 16}}, {kOpenReceipt, kAddItem, kCancelDocument},
       "the register may still hold the document"},
      {"cancel lost", {{kFinishReceipt, kLost}, {kCancelDocument, kLost}},
       {kOpenReceipt, kAddItem, kFinishReceipt, kCancelDocument}, "the register may still hold the document"},
  };
  for (const auto& c : cases) {
    std::ostringstream out;
    {
      ScriptedRegister scripted(c.answers);
      host::HostPort line(scripted.hostEnd());
      host::Session session(line, {.timeout = std::chrono::milliseconds(200)}, out, out);
      host::sendPlan(session, receiptPlan(), {.name = "sale"});
      EXPECT_EQ(scripted.commands(), c.sent) << c.what;
    }
    if (*c.said == '\0') {
      EXPECT_EQ(out.str().find("cancel"), std::string::npos) << c.what << "\n" << out.str();
    } else {
      EXPECT_NE(out.str().find(c.said), std::string::npos) << c.what << "\n" << out.str();
    }
  }
}

}  // namespace
