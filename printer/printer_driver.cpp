#include "printer/printer_driver.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "core/state/status_records.h"
#include "platform/sleep.h"
#include "printer/escpos.h"
#include "serial/line_timing.h"

namespace {

using namespace std::chrono_literals;

constexpr int kReadTimeoutMs = 200;
constexpr int kStatusAttempts = 5;
constexpr auto kStatusRetryPause = 100ms;
constexpr auto kResetSettleTime = 500ms;
constexpr int kReadyQueries = 10;
constexpr auto kReadyRetryPause = 200ms;
// Unasked input dropped before a status query; a printer that floods the line cannot hold the
// query up for longer than this.
constexpr std::size_t kMaxDiscardedBytes = 4096;
const int kLineBitsPerSecond = rs::bitsPerSecond(kPrinterLineSpeed);

}  // namespace

PrinterDriver::PrinterDriver(std::string portPath, DeviceState& state)
    : port_(std::move(portPath), kPrinterLineSpeed, rs::CharacterSize::Bits8, rs::Parity::None, rs::StopBits::One),
      state_(state) {
  port_.setTimeout(kReadTimeoutMs);
  port_.setEcho(false);
}

void PrinterDriver::ensureOpen() {
  if (!port_.isOpen()) port_.open();
}

int PrinterDriver::queryStatus() {
  discardInput();
  for (int attempt = 0; attempt < kStatusAttempts; ++attempt) {
    writeAll(escpos::kPaperStatusQuery);
    bytes::Bytes answer;
    const int count = port_.readWithin(answer, 1, answerTimeoutMs());
    if (count < 0) break;  // also when the line is closed
    if (count == 0) {
      platform::sleepFor(kStatusRetryPause);
      continue;
    }

    const unsigned status = answer[0];
    state_.setStatusFlag(FrStatus::kPrinterNotAnswering, false);
    state_.setStatusFlag(FrStatus::kPaperNearEnd,
                         (status & escpos::kPaperNearEndBits) == escpos::kPaperNearEndBits);
    const bool paperOut = (status & escpos::kPaperOutBits) == escpos::kPaperOutBits;
    state_.setStatusFlag(FrStatus::kPaperOut, paperOut);
    return paperOut ? result::kPaperOut : result::kSuccess;
  }
  state_.setStatusFlag(FrStatus::kPrinterNotAnswering, true);
  return result::kPrinterSilent;
}

int PrinterDriver::initialise() {
  writeAll(escpos::kReset);
  platform::sleepFor(kResetSettleTime);
  int status = queryStatus();
  for (int queries = 1; status != result::kSuccess && queries < kReadyQueries; ++queries) {
    platform::sleepFor(kReadyRetryPause);
    status = queryStatus();
  }
  if (status == result::kSuccess) sendSetup();
  return status;
}

int PrinterDriver::setup() { return sendSetup() ? result::kSuccess : result::kPrinterSilent; }

int PrinterDriver::printText(std::string_view text) {
  const bool sent = sendSetup() && writeAll(text);
  const int status = queryStatus();
  // A printer that answers but did not get the text has not printed it.
  if (!sent && status == result::kSuccess) return result::kPrinterSilent;
  return status;
}

int PrinterDriver::writeRaw(bytes::View data) {
  if (!port_.isOpen()) return result::kPrinterSilent;
  if (data.empty()) return result::kSuccess;
  return writeAll(data) ? result::kSuccess : result::kPrinterSilent;
}

int PrinterDriver::cut() { return writeAll(escpos::kFeedAndCut) ? result::kSuccess : result::kPrinterSilent; }

bool PrinterDriver::writeAll(std::string_view data) { return writeAll(bytes::view(data)); }

bool PrinterDriver::writeAll(bytes::View data) {
  while (!data.empty()) {
    const auto writing = platform::steadyNow();
    const int written = port_.write(data);
    if (written <= 0) return false;
    lineFreeAt_ = std::max(lineFreeAt_, writing) +
                  rs::transmissionTime(static_cast<std::size_t>(written), kLineBitsPerSecond);
    data = data.subspan(static_cast<std::size_t>(written));
  }
  return port_.isOpen();
}

int PrinterDriver::answerTimeoutMs() const {
  const auto now = platform::steadyNow();
  const auto overdue = std::max(lineFreeAt_, now) + std::chrono::milliseconds(kReadTimeoutMs);
  return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(overdue - now).count());
}

bool PrinterDriver::sendSetup() {
  return writeAll(escpos::kSetup1) && writeAll(escpos::kSetup2) && writeAll(escpos::kCodePage);
}

void PrinterDriver::discardInput() {
  const int waiting = port_.bytesAvailable();
  if (waiting <= 0) return;
  bytes::Bytes dropped;
  port_.readWithin(dropped, std::min<std::size_t>(static_cast<std::size_t>(waiting), kMaxDiscardedBytes), 0);
}
