// The document commands: open a document of a type, add items to it, finish it (it is then
// stored and printed), cancel it, and tell the host what is open.
//
// At most one document is open. It lives in memory only. Whenever it is dropped (cancelled,
// stored, or lost to a printer failure) the open-document state byte returns to 0.
#pragma once

#include <cstdint>

#include "core/state/base_worker.h"
#include "core/state/device_state.h"
#include "documents/receipt_doc.h"
#include "link/queue_records.h"
#include "platform/board.h"
#include "printer/printer_driver.h"
#include "storage/archive_store.h"
#include "workers/open_document.h"

class DocumentsWorker : public BaseWorker {
 public:

  // `archive` may be null (no card). Receipts look up sections and discounts in `tables`.
  DocumentsWorker(CashierTable& cashiers, DeviceState& state, platform::Board& board, ArchiveStore* archive,
                  PrinterDriver& printer, OpenDocument& open, ReceiptTables tables = {});

  // Serves codes 6, 7, 176 and the open and finish codes of every type.
  CoreApiResult execute(const CoreTransaction& transaction);

  // The document type an open or finish code names; 0 for any other code.
  static std::uint8_t typeOfCode(std::uint8_t command);

 private:
  int open(std::uint8_t type, bytes::View payload);
  int addItem(bytes::View payload);
  CoreApiResult finish(std::uint8_t type, bytes::View hostData);
  int cancel();
  CoreApiResult openDocumentState();

  int readiness(std::uint8_t type) const;
  // The readiness check, with the card's free space and the printer's state taken afresh
  // before they refuse.
  int freshReadiness(std::uint8_t type);
  void drop(std::shared_ptr<BaseWorkDocument>& held);
  void afterStore(const BaseWorkDocument& document);
  // Prints the text, then checks the printer: the first failure of the two, or 0.
  int printChecked(std::string_view text);

  DeviceState& state_;
  platform::Board& board_;
  ArchiveStore* archive_;
  PrinterDriver& printer_;
  OpenDocument& open_;
  ReceiptTables tables_;
};
