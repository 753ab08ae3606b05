// The one document the host has open, if any, under its own lock.
#pragma once

#include <memory>
#include <mutex>

#include "documents/base_document.h"

class OpenDocument {
 public:
  // Takes the lock for the life of the returned guard.
  std::unique_lock<std::mutex> lock() { return std::unique_lock<std::mutex>(lock_); }

  // The holder; read and replace it only under lock().
  std::shared_ptr<BaseWorkDocument>& document() { return document_; }

 private:
  std::mutex lock_;
  std::shared_ptr<BaseWorkDocument> document_;
};
