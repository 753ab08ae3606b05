#include "link/host_link.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <sstream>

#include "core/state/result_code.h"
#include "link/host_protocol.h"
#include "platform/log.h"
#include "platform/sleep.h"
#include "values/crc.h"
#include "values/tlv.h"

namespace {

using namespace std::chrono_literals;

// Each further piece of a frame must follow the previous one within this time.
constexpr int kPieceTimeoutMs = 500;
constexpr auto kReopenInterval = 1s;
constexpr auto kPauseBeforeErrorReply = 20ms;
constexpr auto kPauseBeforeReply = 10ms;
// The link first looks for the core's result this long after it queued the command; the reply
// then waits its pause.
constexpr auto kFirstQueuePoll = 20ms;

const bytes::Bytes kVersion{0x00, 0x00, 0x04};
const bytes::Bytes kKeyPrefix{0x3E, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

std::string bufferText(const bytes::Bytes& buffer) {
  return buffer.empty() ? "EMPTY BUF" : bytes::hexUpper(buffer);
}

std::string lowerHex(std::uint8_t value) {
  std::ostringstream text;
  text << std::hex << static_cast<int>(value);
  return text.str();
}

}  // namespace

HostLink::HostLink(std::string portName, DeviceState& state, const platform::Board& board, Core core)
    : HostLink(makeSerialLinkPort(std::move(portName)), state, board, core) {}

HostLink::HostLink(std::unique_ptr<LinkPort> port, DeviceState& state, const platform::Board& board, Core core)
    : state_(state), board_(board), core_(core), port_(std::move(port)), lastReply_(result::kNotFound) {}

HostLink::~HostLink() = default;

bool HostLink::openPort() { return port_->open(); }

bool HostLink::portLost() const { return lastReadError_ != EINTR && lastReadError_ != EAGAIN; }

void HostLink::run() {
  lastReply_ = CoreApiResult(result::kNotFound);
  stopRequested_ = false;
  while (!stopRequested_) {
    if (!port_->isOpen() && !openPort()) {
      platform::sleepFor(kReopenInterval);
      continue;
    }
    CoreTransaction transaction;
    CoreApiResult result;
    const int code = readFrame(transaction);
    if (code == result::kNoStartByte && portLost()) {
      // The device went away (a hang-up or an I/O error): nobody would read a reply.
      port_->close();
      continue;
    }
    if (code != result::kSuccess) {
      platform::sleepFor(kPauseBeforeErrorReply);
      sendReply(CoreApiResult(code));
      continue;
    }
    queuedAt_.reset();
    if (!handleRequest(transaction, result)) result = CoreApiResult(result::kNoPort);
    platform::sleepUntil(replyTime());
    sendReply(result);
  }
  port_->close();
}

// The pause counts from when the result was there for the link, which for a command carried
// to the core is no sooner than the link's first poll of the queue: a core command is answered
// no sooner than 30 ms after it was queued, and 10 ms after its result when that came later.
// One deadline for both, so that the wake-up from one wait does not lengthen the other.
platform::SteadyClock::time_point HostLink::replyTime() const {
  auto ready = platform::steadyNow();
  if (queuedAt_) ready = std::max(ready, *queuedAt_ + kFirstQueuePoll);
  return ready + kPauseBeforeReply;
}

bool HostLink::execOnCore(const CoreTransaction& transaction, CoreApiResult& result) {
  queuedAt_ = platform::steadyNow();
  return queue_.exec(transaction, result);
}

bool HostLink::readPieces(bytes::Bytes& buffer, std::size_t count) {
  bytes::Bytes stage;
  bytes::Bytes piece;
  while (stage.size() < count) {
    if (port_->readWithin(piece, count - stage.size(), kPieceTimeoutMs) <= 0) break;
    stage.insert(stage.end(), piece.begin(), piece.end());
  }
  const bool complete = stage.size() == count;
  if (!stage.empty()) buffer = std::move(stage);
  return complete;
}

int HostLink::readFrame(CoreTransaction& transaction) {
  transaction.identifier = 0;
  bytes::Bytes buffer;
  int got = 0;
  for (;;) {
    errno = 0;
    got = port_->read(buffer, 1);
    if (got != 1 || buffer[0] == protocol::kStartByte) break;
    platform::logLine("<< " + lowerHex(buffer[0]) + " " + std::to_string(board_.now()));
    if (buffer[0] == protocol::kResendByte) sendReply(CoreApiResult(lastReply_));
  }
  if (got != 1) {
    lastReadError_ = got == 0 ? 0 : errno;
    platform::logLine("read 104 " + bufferText(buffer));
    return result::kNoStartByte;
  }

  if (!readPieces(buffer, protocol::kLengthSize)) {
    platform::logLine("read 110 " + bufferText(buffer));
    return result::kBadFrameLength;
  }
  const bytes::Bytes lengthField = buffer;
  const std::size_t length = bytes::loadU16(lengthField, 0);
  if (length > protocol::kMaxRequestBody) {
    platform::logLine("read 117 " + bufferText(lengthField) + " " + std::to_string(length));
    return result::kBadFrameLength;
  }
  if (length == 0) {
    // A frame without a command byte: nothing to serve.
    platform::logLine("read 117 " + bufferText(lengthField) + " 0");
    readPieces(buffer, protocol::kCrcSize);
    return result::kBadFrameLength;
  }

  if (!readPieces(buffer, length + protocol::kCrcSize)) {
    platform::logLine("read 124  " + std::to_string(length) + " " + bufferText(buffer));
    return result::kBadFrameLength;
  }
  const bytes::Bytes& bodyAndCrc = buffer;
  const bytes::View body = bytes::View(bodyAndCrc).first(length);
  const std::uint16_t expected = crc::Crc16().update(lengthField).update(body).value();
  if (bytes::loadU16(bodyAndCrc, length) != expected) return result::kBadCrc;

  bytes::ByteReader reader(body);
  transaction.command = reader.u8();
  transaction.payload.clear();
  if (reader.remaining() >= protocol::kIdentifierSize) {
    transaction.identifier = reader.u32();
    const bytes::View payload = reader.rest();
    transaction.payload.assign(payload.begin(), payload.end());
  }
  while (transaction.identifier == 0) transaction.identifier = makeUpIdentifier(transaction);
  return result::kSuccess;
}

// CRC-32 of the command, the time, the payload and two random bytes.
std::uint32_t HostLink::makeUpIdentifier(const CoreTransaction& transaction) const {
  bytes::Bytes seed;
  bytes::appendU8(seed, transaction.command);
  bytes::appendU32(seed, static_cast<std::uint32_t>(board_.now()));
  bytes::appendBytes(seed, transaction.payload);
  bytes::appendU8(seed, static_cast<std::uint8_t>(std::rand()));
  bytes::appendU8(seed, static_cast<std::uint8_t>(std::rand()));
  return crc::crc32(seed);
}

void HostLink::sendReply(const CoreApiResult& result) {
  lastReply_ = result;
  bytes::Bytes body;
  bytes::appendU8(body, static_cast<std::uint8_t>(result.code()));
  if (protocol::kIdentifierSize + result.data().size() <= protocol::kMaxReplyPayload) {
    bytes::appendU32(body, result.identifier());
    bytes::appendBytes(body, result.data());
  } else {
    body[0] = result::kBadFrameLength;
  }
  bytes::Bytes frame;
  bytes::appendU8(frame, protocol::kStartByte);
  bytes::appendU16(frame, static_cast<std::uint16_t>(body.size()));
  bytes::appendBytes(frame, body);
  bytes::appendU16(frame, crc::Crc16().update(bytes::View(frame).subspan(protocol::kLengthOffset)).value());
  port_->write(bytes::View(frame));
}

// Shift open (1 byte), shift number, receipt counter, then the whole shift record.
// Both records come from one moment.
bytes::Bytes HostLink::stateBlock() const {
  const auto [status, cycle] = state_.recordBytes();
  bytes::Bytes block;
  bytes::appendU8(block, (bytes::loadU16(status, FrStatus::StatusStruct::kFlags) & FrStatus::kShiftOpen) ? 1 : 0);
  bytes::appendBytes(block, bytes::slice(status, FrStatus::StatusStruct::kShiftNumber, 2));
  bytes::appendBytes(block, bytes::slice(status, FrStatus::StatusStruct::kReceiptCounter, 2));
  bytes::appendBytes(block, cycle);
  return block;
}

bool HostLink::handleRequest(const CoreTransaction& transaction, CoreApiResult& result) {
  const auto reply = [&](int code, bytes::Bytes data = {}) {
    result = CoreApiResult(code, std::move(data));
    result.setIdentifier(transaction.identifier);
    return true;
  };

  switch (transaction.command) {
    case protocol::kState:
      if (!state_.currentModelData()->isValid()) return reply(result::kModelNotValid);
      return reply(result::kSuccess, stateBlock());

    case protocol::kStatus: {
      if (core_ == Core::Running) {
        CoreTransaction refresh = transaction;
        refresh.command = protocol::kPrinterStatus;
        CoreApiResult dropped;
        execOnCore(refresh, dropped);
      }
      const auto model = state_.currentModelData();
      if (!model->isValid()) return reply(result::kModelNotValid);
      const std::string serial = model->serialNumber();
      bytes::Bytes data(serial.begin(), serial.end());
      bytes::appendBytes(data, state_.statusBytes());
      return reply(result::kSuccess, std::move(data));
    }

    case protocol::kIdentity: {
      const auto model = state_.currentModelData();
      if (!model->isValid()) return reply(result::kModelNotValid);
      return reply(result::kSuccess, bytes::Bytes(model->bytes().begin(), model->bytes().begin() + 44));
    }

    case protocol::kDeviceKey: {
      const bytes::Bytes key = state_.deviceKey();
      if (key.empty()) return reply(result::kIdentityFault);
      bytes::Bytes data = kVersion;
      bytes::appendBytes(data, kKeyPrefix);
      bytes::appendBytes(data, key);
      return reply(result::kSuccess, std::move(data));
    }

    case protocol::kVersion:
      return reply(result::kSuccess, kVersion);

    case protocol::kRegistrationValue: {
      if (transaction.payload.size() != 2) return reply(result::kBadPayload);
      const auto registration = state_.currentRegData();
      if (!registration->isComplete()) return reply(result::kRegistrationMissing);
      return reply(result::kSuccess, registration->valueByTag(bytes::loadU16(transaction.payload, 0)).encode());
    }

    default:
      if (core_ == Core::Absent) return false;
      if (!execOnCore(transaction, result)) return false;
      result.setIdentifier(transaction.identifier);
      return true;
  }
}
