// The core's printer work: the start-up sequence and printout, and the host's printer commands
// (0xC0 status, 0xC3 styled text, 0xC4 raw bytes, 0xC5 feed and cut).
#include "core/core_worker.h"
#include "core/state/result_code.h"
#include "printer/print_layout.h"
#include "printer/printer_settings.h"
#include "values/cp866.h"
#include "values/local_time.h"

namespace {

// 0xC3 payload: spacing, alignment, font, style bits, then the text.
constexpr std::size_t kHostTextHeader = 4;
constexpr unsigned kSpacingValues = 6;
constexpr std::uint8_t kAlignCentred = 1;
constexpr std::uint8_t kAlignRight = 2;
constexpr std::uint8_t kBoldBit = 0x01;
constexpr std::uint8_t kCarriedBit = 0x02;
constexpr std::uint8_t kReverseBit = 0x04;
constexpr std::uint8_t kDoubleSizeBit = 0x08;
constexpr std::uint8_t kCutBit = 0x10;

constexpr unsigned kBannerFont = 3;

}  // namespace

void CoreWorker::startPrinter() {
  printerSettings().setPaperWidth(readPaperWidth(board_));
  printer_.ensureOpen();
  printer_.initialise();
  printer_.queryStatus();
}

// The model, the serial number (or that none is set) and the time, centred and bold; then the
// registration's header and footer when the register is registered.
void CoreWorker::printStartupBanner() {
  const auto model = state_.currentModelData();
  PrintBlock banner(PrintStyle(PrintStyle::kCentred | PrintStyle::kBold, kBannerFont));
  banner.addText(model->modelName());
  banner.addText(model->isValid() ? std::string("ЗН "_cp866) + model->serialNumber()
                                  : std::string("НЕ УСТАНОВЛЕН ЗАВОДСКОЙ НОМЕР"_cp866));
  banner.addText(localTimeText(board_.now(), "%d.%m.%Y %H:%M"));
  const auto registration = state_.currentRegData();
  if (!registration->isComplete()) {
    printer_.printText(render(banner, true));
    return;
  }
  printer_.printText(render(banner, false) + registration->headerBlock() + registration->footerBlock(true));
}

int CoreWorker::printHostText(bytes::View payload) {
  if (payload.size() < kHostTextHeader) return result::kBadPayload;
  const std::uint8_t bits = payload[3];
  std::uint8_t attributes = payload[1] == kAlignCentred ? PrintStyle::kCentred
                            : payload[1] == kAlignRight ? PrintStyle::kRight
                                                        : PrintStyle::kLeft;
  if (bits & kBoldBit) attributes |= PrintStyle::kBold;
  if (bits & kCarriedBit) attributes |= PrintStyle::kCarried;
  if (bits & kReverseBit) attributes |= PrintStyle::kReverse;
  if (bits & kDoubleSizeBit) attributes |= PrintStyle::kDoubleSize;
  const PrintStyle style(attributes, payload[2] & 0x3u, payload[0] % kSpacingValues);
  const bytes::View text = payload.subspan(kHostTextHeader);
  const PrintBlock block(style, std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
  return printer_.printText(render(block, (bits & kCutBit) != 0));
}

int CoreWorker::printRaw(bytes::View payload) {
  if (payload.empty()) return result::kBadPayload;
  return printer_.writeRaw(payload);
}
