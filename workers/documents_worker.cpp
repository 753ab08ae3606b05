#include "workers/documents_worker.h"

#include "core/state/result_code.h"
#include "documents/cash_ctrl_document.h"
#include "documents/document_factory.h"
#include "link/host_protocol.h"
#include "printer/print_layout.h"
#include "values/cp866.h"
#include "values/tlv.h"

namespace {

bool isOpenCode(std::uint8_t command) {
  switch (command) {
    case protocol::kOpenFiscalization: case protocol::kOpenShiftOpening: case protocol::kOpenShiftClosing:
    case protocol::kOpenReceipt: case protocol::kOpenArchiveClosing: case protocol::kOpenCashDeposit:
    case protocol::kOpenCashPayout:
      return true;
    default:
      return false;
  }
}

// Rights a cashier needs to open each type: any one of the bits.
std::uint16_t rightsFor(std::uint8_t type) {
  switch (type) {
    case DocumentType::kFiscalization:
    case DocumentType::kArchiveClosing:
      return CashierRights::kFiscalization;
    case DocumentType::kReceipt:
      return CashierRights::kReceipts | CashierRights::kReturns;
    default:
      return CashierRights::kReceipts | CashierRights::kReports | CashierRights::kReturns;
  }
}

}  // namespace

DocumentsWorker::DocumentsWorker(CashierTable& cashiers, DeviceState& state, platform::Board& board,
                                 ArchiveStore* archive, PrinterDriver& printer, OpenDocument& open,
                                 ReceiptTables tables)
    : BaseWorker(cashiers),
      state_(state),
      board_(board),
      archive_(archive),
      printer_(printer),
      open_(open),
      tables_(tables) {}

std::uint8_t DocumentsWorker::typeOfCode(std::uint8_t command) {
  switch (command) {
    case protocol::kOpenFiscalization: case protocol::kFinishFiscalization: return DocumentType::kFiscalization;
    case protocol::kOpenShiftOpening: case protocol::kFinishShiftOpening: return DocumentType::kShiftOpening;
    case protocol::kOpenShiftClosing: case protocol::kFinishShiftClosing: return DocumentType::kShiftClosing;
    case protocol::kOpenReceipt: case protocol::kFinishReceipt: return DocumentType::kReceipt;
    case protocol::kOpenArchiveClosing: case protocol::kFinishArchiveClosing: return DocumentType::kArchiveClosing;
    case protocol::kOpenCashDeposit: case protocol::kFinishCashDeposit: return DocumentType::kCashDeposit;
    case protocol::kOpenCashPayout: case protocol::kFinishCashPayout: return DocumentType::kCashPayout;
    default: return 0;
  }
}

CoreApiResult DocumentsWorker::execute(const CoreTransaction& transaction) {
  const std::uint8_t command = transaction.command;
  switch (command) {
    case protocol::kCancelDocument: return CoreApiResult(cancel());
    case protocol::kAddItem: return CoreApiResult(addItem(transaction.payload));
    case protocol::kOpenDocumentState: return openDocumentState();
    default: break;
  }
  const std::uint8_t type = typeOfCode(command);
  if (isOpenCode(command)) return CoreApiResult(open(type, transaction.payload));
  return finish(type, transaction.payload);
}

int DocumentsWorker::readiness(std::uint8_t type) const {
  const std::int64_t now = board_.now();
  switch (type) {
    case DocumentType::kFiscalization: return state_.readyForType1();
    case DocumentType::kShiftClosing: return state_.readyForType2();
    case DocumentType::kReceipt: return state_.readyForType3(now);
    case DocumentType::kArchiveClosing: return state_.readyForType4();
    case DocumentType::kCashDeposit: return state_.readyForType5(now);
    case DocumentType::kCashPayout: return state_.readyForType6();
    default: return state_.readyForType7();
  }
}

// The free space and the printer flags the status holds are those of the last store and the
// last print: before either refuses a document it is measured or asked again, so that a card
// with space freed since, or a printer given paper, serves at once.
int DocumentsWorker::freshReadiness(std::uint8_t type) {
  const auto check = [&] { return withFreshPrinterState(printer_, [&] { return readiness(type); }); };
  const int code = check();
  if (code != result::kCardFull || archive_ == nullptr) return code;
  state_.setDocumentCapacity(archive_->documentCapacity());
  return check();
}

void DocumentsWorker::drop(std::shared_ptr<BaseWorkDocument>& held) {
  held.reset();
  state_.setOpenDocumentState(0);
}

int DocumentsWorker::open(std::uint8_t type, bytes::View payload) {
  Cashier cashier;
  bytes::View openData;
  if (const int refused = checkOperator(payload, cashier, openData); refused != 0) return refused;
  if (!DocumentType::isKnown(type)) return result::kWrongType;
  const auto model = state_.currentModelData();
  if (!model->isValid()) return result::kModelNotValid;
  if (!state_.isDocumentTime(board_.now())) return result::kTimeNotLater;

  auto guard = open_.lock();
  auto& held = open_.document();
  if (held) return result::kDocumentOpen;
  if (!(cashier.rights & rightsFor(type))) return result::kNoPermission;
  if (const int notReady = freshReadiness(type); notReady != 0) return notReady;
  if (const int printer = printer_.queryStatus(); printer != 0) return printer;

  const auto registration = state_.currentRegData();
  auto document = createDocument(type, model.get(), registration.get(), cashier, tables_);
  if (!document) return result::kNotStorable;
  if (const int refused = document->applyOpenData(openData, state_); refused != 0) return refused;

  held = document;
  state_.setOpenDocumentState(type);
  const std::string header = document->headerText();
  if (!header.empty()) {
    if (const int printer = printChecked(header); printer != 0) {
      drop(held);
      return printer;
    }
  }
  return result::kSuccess;
}

int DocumentsWorker::addItem(bytes::View payload) {
  if (const int printer = printer_.queryStatus(); printer != 0) return printer;
  auto guard = open_.lock();
  auto& held = open_.document();
  if (!held) return result::kNoDocumentOpen;
  // The payload is exactly one item; anything else would hand the document a broken item.
  TlvItem item;
  if (!item.decodeExact(payload)) return result::kBadPayload;
  std::string text;
  const int code = held->addTag(item, text);
  if (!text.empty()) {
    if (const int printer = printChecked(text); printer != 0) {
      drop(held);
      return printer;
    }
  }
  return code;
}

CoreApiResult DocumentsWorker::finish(std::uint8_t type, bytes::View hostData) {
  std::shared_ptr<BaseWorkDocument> stored;
  {
    auto guard = open_.lock();
    auto& held = open_.document();
    if (!held) return CoreApiResult(result::kNoDocumentOpen);
    if (held->type() != type) return CoreApiResult(result::kWrongType);
    const std::int64_t now = board_.now();
    if (!state_.isDocumentTime(now)) return CoreApiResult(result::kTimeNotLater);
    if (const int printer = printer_.queryStatus(); printer != 0) {
      drop(held);
      return CoreApiResult(printer);
    }
    // The document learns the archive's id; the registration in force changes only once the
    // document is stored.
    const bool idGiven = held->regData().archiveId() == 0;
    if (idGiven) held->setRegistrationArchiveId(archive_ ? archive_->archiveId() : 0);

    std::uint16_t missingTag = 0;
    const int finished = held->finish(static_cast<std::uint32_t>(now), state_.deviceKey(), hostData, missingTag, state_);
    if (finished == result::kMandatoryMissing) {
      bytes::Bytes data;
      bytes::appendU16(data, missingTag);
      return CoreApiResult(finished, std::move(data));
    }
    if (finished != 0) return CoreApiResult(finished);
    const int code = archive_ ? archive_->storeDocument(held) : result::kArchiveNotReady;
    if (code != 0) return CoreApiResult(code);
    if (idGiven && held->type() != DocumentType::kFiscalization) state_.publishRegData(held->regData());
    stored = held;
    drop(held);
  }
  afterStore(*stored);
  return CoreApiResult(result::kSuccess, stored->closeReply(state_));
}

int DocumentsWorker::printChecked(std::string_view text) {
  const int printed = printer_.printText(text);
  const int check = printer_.queryStatus();
  return printed != 0 ? printed : check;
}

// The device state follows the stored document, and its reports and footer are printed, each
// text as a print of its own.
void DocumentsWorker::afterStore(const BaseWorkDocument& document) {
  switch (document.type()) {
    case DocumentType::kFiscalization:
      state_.setStatusFlag(FrStatus::kRegistrationMatches, true);
      state_.setFiscalizationCount(archive_->fiscalizationCount());
      break;
    case DocumentType::kShiftClosing:
      state_.setStatusFlag(FrStatus::kShiftOpen, false);
      state_.setShiftClosingNumber(document.documentNumber());
      state_.setShiftClosingTime(document.dateTime());
      break;
    case DocumentType::kArchiveClosing:
      state_.setStatusFlag(FrStatus::kArchiveClosed, true);
      break;
    case DocumentType::kCashDeposit:
    case DocumentType::kCashPayout: {
      const auto& cash = dynamic_cast<const CashCtrlDocument&>(document);
      const auto amount = static_cast<std::uint64_t>(cash.amount().rescaled(100).mantissa());
      const std::uint64_t drawer = state_.drawerCash();
      state_.setDrawerCash(cash.isDeposit() ? drawer + amount : drawer - std::min(amount, drawer));
      state_.setShiftClosingNumber(document.documentNumber());
      break;
    }
    case DocumentType::kReceipt: {
      const auto& receipt = dynamic_cast<const ReceiptDoc&>(document);
      const auto cash = static_cast<std::uint64_t>(receipt.cash().rescaled(100).mantissa());
      const std::uint64_t drawer = state_.drawerCash();
      state_.setDrawerCash(receipt.isIncoming() ? drawer + cash : drawer - std::min(cash, drawer));
      state_.setReceiptCounter(receipt.receiptNumber());
      state_.setShiftClosingNumber(document.documentNumber());
      break;
    }
    case DocumentType::kShiftOpening:
      state_.setStatusFlag(FrStatus::kShiftOpen, true);
      state_.setReceiptCounter(0);
      state_.setShiftOpeningNumber(document.documentNumber());
      state_.setShiftOpeningTime(document.dateTime());
      state_.setShiftClosingNumber(document.documentNumber());
      state_.setShiftClosingTime(0);
      break;
    default:
      break;
  }
  for (const std::string& text : document.storedReportTexts()) printer_.printText(text);
  state_.setLastDocumentNumber(document.documentNumber());
  state_.setLastDocumentTime(document.dateTime());
  state_.setShiftNumber(document.shiftNumber());
  state_.setOpenDocumentState(0);
  state_.setDocumentCapacity(archive_->documentCapacity());
  if (const std::string footer = document.footerText(true); !footer.empty()) printer_.printText(footer);
}

int DocumentsWorker::cancel() {
  {
    auto guard = open_.lock();
    auto& held = open_.document();
    if (!held) return result::kNoDocumentOpen;
    drop(held);
  }
  const PrintBlock notice(PrintStyle(PrintStyle::kCentred | PrintStyle::kBold | PrintStyle::kDoubleSize, 0),
                          "\nДОКУМЕНТ ОТМЕНЕН\n"_cp866);
  printer_.printText(render(notice, true));
  return result::kSuccess;
}

CoreApiResult DocumentsWorker::openDocumentState() {
  auto guard = open_.lock();
  const auto& held = open_.document();
  if (!held) return CoreApiResult(result::kNoDocumentOpen);
  return CoreApiResult(result::kSuccess, held->statusReply());
}
