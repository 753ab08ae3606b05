// The idempotency keys whose first requests are being served, each with its request (route and
// canonical body). A key is claimed for the whole time its request is served and released when
// the claim ends, however the serving ends; a second request with a key still claimed is
// refused. Safe to use from several threads.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <variant>

namespace gateway {

class KeyClaims {
 public:
  // Holds a key while it lives.
  class Claim {
   public:
    Claim(KeyClaims& claims, std::string key) : claims_(&claims), key_(std::move(key)) {}
    ~Claim() {
      if (claims_ != nullptr) claims_->release(key_);
    }
    Claim(Claim&& other) noexcept : claims_(std::exchange(other.claims_, nullptr)), key_(std::move(other.key_)) {}
    Claim& operator=(Claim&&) = delete;
    Claim(const Claim&) = delete;
    Claim& operator=(const Claim&) = delete;

   private:
    KeyClaims* claims_;
    std::string key_;
  };

  // Why a key could not be claimed: its request is being served, or another request holds it.
  enum class Taken { kSameRequest, kOtherRequest };

  std::variant<Claim, Taken> claim(const std::string& key, const std::string& request) {
    const std::lock_guard lock(mutex_);
    const auto [entry, claimed] = claimed_.emplace(key, request);
    if (!claimed) return entry->second == request ? Taken::kSameRequest : Taken::kOtherRequest;
    return Claim(*this, key);
  }

 private:
  void release(const std::string& key) {
    const std::lock_guard lock(mutex_);
    claimed_.erase(key);
  }

  std::mutex mutex_;
  std::map<std::string, std::string> claimed_;
};

}  // namespace gateway
