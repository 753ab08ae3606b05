#include "documents/document_factory.h"

#include "documents/archive_close_doc.h"
#include "documents/cash_ctrl_document.h"
#include "documents/close_cycle_doc.h"
#include "documents/cycle_open_document.h"
#include "documents/fiscalization_document.h"

std::shared_ptr<BaseWorkDocument> createDocument(std::uint8_t type, const ModelData* model, const RegData* registration,
                                                 const Cashier& cashier, ReceiptTables tables) {
  switch (type) {
    case DocumentType::kFiscalization: return std::make_shared<FiscalizationDocument>(model, cashier);
    case DocumentType::kShiftClosing: return std::make_shared<CloseCycleDoc>(model, registration, cashier);
    case DocumentType::kReceipt: return std::make_shared<ReceiptDoc>(model, registration, cashier, tables);
    case DocumentType::kArchiveClosing: return std::make_shared<ArchiveCloseDoc>(model, registration, cashier);
    case DocumentType::kCashDeposit: return std::make_shared<CashCtrlDocument>(true, model, registration, cashier);
    case DocumentType::kCashPayout: return std::make_shared<CashCtrlDocument>(false, model, registration, cashier);
    case DocumentType::kShiftOpening: return std::make_shared<CycleOpenDocument>(model, registration, cashier);
    default: return nullptr;
  }
}

std::shared_ptr<BaseWorkDocument> rebuildDocument(const DocDescriptor& descriptor, bytes::View stored,
                                                  const ModelData* model, const RegData* registration) {
  Cashier cashier;
  cashier.number = descriptor.cashierNumber();
  // Data whose type byte is not the descriptor's belong to another document.
  if (!stored.empty() && stored[0] != descriptor.type()) return nullptr;
  std::shared_ptr<BaseWorkDocument> document = createDocument(descriptor.type(), model, registration, cashier);
  if (document == nullptr) return nullptr;
  document->takeDescriptorFields(descriptor);
  bytes::View items = stored.empty() ? stored : stored.subspan(1);
  while (!items.empty()) {
    TlvItem item;
    if (!item.decodeFront(items)) return nullptr;
    document->setStoredTag(item);
  }
  return document;
}
