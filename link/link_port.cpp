#include "link/link_port.h"

#include "serial/serialport.h"

namespace {

class SerialLinkPort final : public LinkPort {
 public:
  explicit SerialLinkPort(std::string portName) : port_(std::move(portName), rs::BaudRate::Baud115200) {
    port_.setEcho(false);
    port_.setTimeout(rs::SerialPort::kBlockingTimeout);
  }

  bool open() override { return port_.open(); }
  void close() override { port_.close(); }
  bool isOpen() const override { return port_.isOpen(); }
  int read(bytes::Bytes& out, std::size_t n) override { return port_.read(out, n); }
  int readWithin(bytes::Bytes& out, std::size_t n, int timeoutMs) override {
    return port_.readWithin(out, n, timeoutMs);
  }
  int write(bytes::View data) override { return port_.write(data); }

 private:
  rs::SerialPort port_;
};

}  // namespace

std::unique_ptr<LinkPort> makeSerialLinkPort(std::string portName) {
  return std::make_unique<SerialLinkPort>(std::move(portName));
}
