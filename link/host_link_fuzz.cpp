// Feeds arbitrary bytes to the host link as if they came from the host, and serves every frame
// it reads with the link-level commands. The link must neither crash nor stop reading.
#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "core/state/result_code.h"
#include "link/host_link.h"
#include "platform/memory_board.h"

namespace {

// A line that delivers the fuzz input and swallows what the link writes.
class MemoryPort final : public LinkPort {
 public:
  MemoryPort(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool open() override { return true; }
  void close() override {}
  bool isOpen() const override { return true; }
  int read(bytes::Bytes& out, std::size_t n) override {
    if (position_ == size_) return 0;
    const std::size_t count = std::min(n, size_ - position_);
    out.assign(data_ + position_, data_ + position_ + count);
    position_ += count;
    return static_cast<int>(count);
  }
  int readWithin(bytes::Bytes& out, std::size_t n, int) override { return read(out, n); }
  int write(bytes::View data) override { return static_cast<int>(data.size()); }

  bool exhausted() const { return position_ == size_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

DeviceState& registeredState() {
  static DeviceState* state = [] {
    auto* s = new DeviceState();
    const bytes::Bytes key(16, 0x42);
    s->setDeviceKey(key);
    ModelData model;
    model.setSerialNumber("0000000042");
    model.seal(key);
    s->publishModelData(model);
    RegData registration;
    registration.setText(RegData::Text::RegistrationNumber, "1");
    registration.setText(RegData::Text::TaxpayerNumber, "2");
    registration.setText(RegData::Text::UserName, "3");
    registration.setText(RegData::Text::Place, "4");
    registration.setText(RegData::Text::Address, "5");
    registration.setRegistrationTime(1700000000);
    registration.seal(model.serialNumber(), key);
    s->publishRegData(registration);
    return s;
  }();
  return *state;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static platform::MemoryBoard board(std::filesystem::temp_directory_path() / "frcore-link-fuzz");  // its clock stands still
  auto port = std::make_unique<MemoryPort>(data, size);
  MemoryPort& input = *port;
  HostLink link(std::move(port), registeredState(), board, HostLink::Core::Absent);
  while (!input.exhausted()) {
    CoreTransaction transaction;
    CoreApiResult result;
    const int code = link.readFrame(transaction);
    if (code != result::kSuccess) {
      result = CoreApiResult(code);
    } else if (!link.handleRequest(transaction, result)) {
      result = CoreApiResult(result::kNoPort);
    }
    link.sendReply(result);
  }
  return 0;
}
