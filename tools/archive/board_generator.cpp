#include "tools/archive/board_generator.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <vector>

#include "core/state/device_state.h"
#include "core/state/result_code.h"
#include "documents/cash_ctrl_document.h"
#include "documents/document_factory.h"
#include "documents/receipt_doc.h"
#include "platform/board.h"
#include "platform/board_directory.h"
#include "platform/stepped_clock_board.h"
#include "platform/sync_switch_board.h"
#include "reference/cashier.h"
#include "reference/discount.h"
#include "reference/section.h"
#include "reference/tax_rate.h"
#include "storage/archive_layout.h"
#include "storage/archive_store.h"
#include "storage/card.h"
#include "storage/identity_memory.h"
#include "values/cp866.h"
#include "values/tags.h"
#include "values/tlv.h"

namespace frarchive {
namespace {

namespace fs = std::filesystem;

// The history lies between these moments (2023-01-09 09:00:00 and 2026-01-01 00:00:00 UTC):
// after the register's build moment, and fixed, so that a seed always gives the same bytes.
constexpr std::uint32_t kHistoryStart = 1673254800;
constexpr std::uint32_t kHistoryEnd = 1767225600;
constexpr std::uint32_t kDay = 86400;
constexpr std::uint32_t kWorkingDay = 12 * 3600;
// The register refuses receipts past this many in a shift.
constexpr std::uint32_t kMaxReceiptsPerShift = 3000;
// Opening, deposit of change, the halfway payout or deposit, the emptying payout, closing.
constexpr std::uint32_t kCashAndShiftDocuments = 5;

constexpr std::int64_t kRouble = 100;  // amounts are in kopecks

// splitmix64, defined here so that a seed gives the same history on every machine. Each draw
// is a statement of its own: the language leaves the order of a call's arguments open.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}

  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // 0 .. n - 1 for n above 0.
  std::uint64_t below(std::uint64_t n) { return next() % n; }
  std::int64_t between(std::int64_t low, std::int64_t high) {
    return low + static_cast<std::int64_t>(below(static_cast<std::uint64_t>(high - low + 1)));
  }
  bool chance(unsigned percent) { return below(100) < percent; }

 private:
  std::uint64_t state_;
};

// What the shop sells, and what it buys in from its customers (purchases and their returns).
// Texts in UTF-8; prices in kopecks; a weighed ware sells by the kilogram with three places.
struct Ware {
  const char* name;
  const char* code;  // product code, empty for weighed wares
  std::int64_t price;
  std::uint8_t section;
  std::uint8_t taxIndex;  // 1 VAT 20 %, 2 VAT 10 %, 3 without VAT
  bool weighed;
};

constexpr Ware kGoods[] = {
    {"Батон нарезной", "4600000000017", 4550, 1, 2, false},
    {"Хлеб бородинский", "4600000000024", 6200, 1, 2, false},
    {"Булочка с маком", "4600000000031", 2800, 1, 2, false},
    {"Молоко 3,2% 1 л", "4600000000048", 8990, 2, 2, false},
    {"Кефир 1% 0,9 л", "4600000000055", 7900, 2, 2, false},
    {"Творог 5% 200 г", "4600000000062", 11500, 2, 2, false},
    {"Сыр российский", "", 72000, 2, 2, true},
    {"Яблоки", "", 12990, 3, 2, true},
    {"Картофель", "", 4990, 3, 2, true},
    {"Бананы", "", 13900, 3, 2, true},
    {"Гречка 900 г", "4600000000079", 9900, 4, 2, false},
    {"Сахар 1 кг", "4600000000086", 8400, 4, 2, false},
    {"Чай черный 100 г", "4600000000093", 15900, 4, 1, false},
    {"Кофе молотый 250 г", "4600000000109", 38900, 4, 1, false},
    {"Средство для посуды", "4600000000116", 13900, 5, 1, false},
    {"Мыло туалетное", "4600000000123", 4500, 5, 1, false},
    {"Стиральный порошок 3 кг", "4600000000130", 64900, 5, 1, false},
    {"Пакет-майка", "", 500, 7, 1, false},
    {"Доставка на дом", "", 25000, 7, 3, false},
};

constexpr Ware kBoughtIn[] = {
    {"Стеклотара 0,5 л", "", 150, 6, 3, false},
    {"Ящик деревянный", "", 5000, 6, 3, false},
    {"Макулатура", "", 800, 6, 3, true},
    {"Поддон", "", 25000, 6, 3, false},
};

// Section 7 is left without a name: it prints as its number.
constexpr std::pair<std::uint8_t, const char*> kSections[] = {
    {1, "ХЛЕБ"}, {2, "МОЛОЧНЫЕ ПРОДУКТЫ"}, {3, "ОВОЩИ И ФРУКТЫ"}, {4, "БАКАЛЕЯ"}, {5, "БЫТОВАЯ ХИМИЯ"}, {6, "ПРИЕМ ТАРЫ"},
};

struct ProgrammedDiscount {
  std::uint8_t number;
  std::int32_t kind;
  std::int64_t value;
  const char* name;
};
constexpr ProgrammedDiscount kDiscounts[] = {{1, Discount::kPercentage, 1000, "ПЕНСИОНЕРАМ"},
                                     {2, Discount::kAmount, 5000, "КУПОН"},
                                     {3, Discount::kPercentage, 500, ""}};

constexpr struct {
  std::uint8_t number;
  std::int32_t password;
  const char* name;
} kCashiers[] = {{1, 1111, "Анна Петрова"}, {2, 2222, "Иван Смирнов"}, {3, 3333, "Ольга Кузнецова"}};
constexpr std::uint16_t kCashierRights = CashierRights::kReceipts | CashierRights::kReports | CashierRights::kReturns;

constexpr struct {
  std::uint8_t kind;
  std::uint16_t hundredths;
  const char* name;
} kTaxRates[] = {{1, 2000, "НДС 20%"}, {1, 1000, "НДС 10%"}, {0, 0, "БЕЗ НДС"}};

// Notes a customer pays with, in kopecks.
constexpr std::int64_t kNotes[] = {10 * kRouble,  50 * kRouble,   100 * kRouble,
                                   500 * kRouble, 1000 * kRouble, 5000 * kRouble};

std::string text(const char* utf8) { return cp866::fromUtf8(utf8); }

bytes::Bytes amountData(std::int64_t kopecks) {
  bytes::Bytes data;
  bytes::appendI64(data, kopecks);
  return data;
}

// Receipt finishing data: cash, then electronic payment.
bytes::Bytes paymentData(std::int64_t cash, std::int64_t electronic) {
  bytes::Bytes data = amountData(cash);
  bytes::appendI64(data, electronic);
  return data;
}

std::int64_t kopecksOf(const Decimal& amount) { return amount.rescaled(Decimal::kMoneyScale).mantissa(); }

// Every regular file and directory under `root`, and `root`, made durable.
bool syncTree(const fs::path& root) {
  const auto syncPath = [](const fs::path& path) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (descriptor < 0) return false;
    const bool synced = ::fsync(descriptor) == 0;
    ::close(descriptor);
    return synced;
  };
  std::error_code error;
  bool synced = true;
  for (fs::recursive_directory_iterator entry(root, error), end; !error && entry != end; entry.increment(error)) {
    const fs::file_type type = entry->symlink_status(error).type();
    if (type == fs::file_type::regular || type == fs::file_type::directory) synced = syncPath(entry->path()) && synced;
  }
  return !error && syncPath(root) && synced;
}

std::string refused(const std::string& what, int code) { return what + " refused with code " + std::to_string(code); }

class Generator {
 public:
  Generator(const std::string& dir, const GeneratorOptions& options)
      : root_(dir),
        options_(options),
        random_(options.seed),
        simulated_(platform::makeSimulatedBoard(dir)),
        unsynced_(*simulated_, /*syncsMade=*/false),
        board_(unsynced_, kHistoryStart),
        identity_(board_),
        cashiers_(board_, board_.nvPath("CASHIERS")),
        sections_(board_, board_.nvPath("SECTIONS")),
        discounts_(board_, board_.nvPath("DISCOUNTS")) {}

  std::string run() {
    if (std::string reason = checkOptions(); !reason.empty()) return reason;
    if (std::string reason = prepareBoard(); !reason.empty()) return reason;
    if (std::string reason = setIdentity(); !reason.empty()) return reason;
    if (std::string reason = programTables(); !reason.empty()) return reason;
    if (std::string reason = registerDevice(); !reason.empty()) return reason;
    frameShifts();
    for (std::uint32_t shift = 0; shift < options_.shifts; ++shift) {
      if (std::string reason = runShift(shift); !reason.empty()) return reason;
    }
    return syncTree(root_) ? std::string() : "the board's files could not be synced";
  }

 private:
  std::string checkOptions() const {
    if (options_.receiptsPerShift > kMaxReceiptsPerShift) {
      return "at most " + std::to_string(kMaxReceiptsPerShift) + " receipts a shift: the register refuses more";
    }
    const std::uint64_t documents =
        1 + std::uint64_t{options_.shifts} * (options_.receiptsPerShift + kCashAndShiftDocuments);
    if (documents > archive_layout::kIndexCapacity) {
      return "the history would hold " + std::to_string(documents) + " documents; an archive holds at most " +
             std::to_string(archive_layout::kIndexCapacity);
    }
    return {};
  }

  std::string prepareBoard() {
    try {
      platform::prepareBoardDirectory(root_);
    } catch (const fs::filesystem_error& error) {
      return std::string("the board directory cannot be made: ") + error.what();
    }
    if (!card::mountCard(board_)) return "the board's card cannot be mounted";
    if (board_.pathState(card::archivePath(board_)) != platform::PathState::Missing) {
      return "the board already holds an archive: " + card::archivePath(board_);
    }
    if (simulated_->now() <= kHistoryEnd) return "the machine's clock stands before the end of the generated history";
    return {};
  }

  // A device key written where a blank memory gets its own, then the serial number sealed with
  // it as the serial number command seals it.
  std::string setIdentity() {
    bytes::Bytes key(IdentityMemory::kDeviceKeySize);
    for (auto& byte : key) byte = static_cast<std::uint8_t>(random_.next());
    auto memory = board_.openFile(board_.identityMemoryPath(), platform::FileMode::ReadWrite);
    if (!memory || !memory->writeAt(IdentityMemory::kDeviceKeyOffset, key)) {
      return "the identity memory cannot be written";
    }
    memory.reset();
    identity_.loadIdentity(state_);
    if (state_.hasStatusFlag(FrStatus::kIdentityFault)) return "the identity memory cannot be read";

    ModelData model = *state_.currentModelData();
    model.setModelCode(ModelData::kModelCode);
    model.setModelName(ModelData::kModelName);
    model.setSerialNumber(std::to_string(1000000000 + random_.below(9000000000)));
    if (!model.seal(state_.deviceKey()) || !identity_.writeModelData(model)) return "the serial number cannot be set";
    state_.publishModelData(model);
    return {};
  }

  // The tables as the service creates them, then programmed as a shop's host would.
  std::string programTables() {
    if (!cashiers_.ensureCashierFile() || !sections_.loadSections() || !discounts_.loadDiscounts()) {
      return "the reference tables cannot be made";
    }
    bool saved = true;
    for (const auto& cashier : kCashiers) {
      saved =
          cashiers_.saveCashier(Cashier{cashier.number, kCashierRights, cashier.password, text(cashier.name)}) && saved;
    }
    for (const auto& [number, name] : kSections) saved = sections_.saveSection(Section{number, text(name)}) && saved;
    for (const auto& discount : kDiscounts) {
      saved = discounts_.saveDiscount(Discount{discount.number, discount.kind, discount.value, text(discount.name)}) &&
              saved;
    }
    return saved ? std::string() : "the reference tables cannot be programmed";
  }

  // The archive made an hour before the registration, which comes an hour before the first
  // shift, by the administrator.
  std::string registerDevice() {
    board_.setClock(kHistoryStart - 2 * 3600);
    archive_ = std::make_unique<ArchiveStore>(card::archivePath(board_), board_, state_, identity_);
    if (!archive_->createOrValidate() || !archive_->openArchive()) return "the archive cannot be created";

    Cashier administrator;
    if (!cashiers_.readCashier(Cashier::kAdministrator, administrator)) return "the administrator cannot be read";
    auto document =
        createDocument(DocumentType::kFiscalization, state_.currentModelData().get(), nullptr, administrator);
    if (const int code = document->applyOpenData({}, state_); code != result::kSuccess) {
      return refused("the registration", code);
    }
    TlvList items(3);  // the user's name, the place and the address of settlement
    items[0].setText(11048, text("ООО \"Ромашка\""));
    items[1].setText(11187, text("Магазин \"У дома\""));
    items[2].setText(11009, text("Москва, ул. Тверская, д. 1"));
    for (std::size_t slot = 0; slot < std::size(kTaxRates); ++slot) {
      TaxRate rate;
      rate.setKind(kTaxRates[slot].kind);
      rate.setPercentage(kTaxRates[slot].hundredths);
      rate.setName(text(kTaxRates[slot].name));
      items.push_back(rate.toTlv(slot));
    }
    std::string printed;
    for (const TlvItem& item : items) {
      if (const int code = document->addTag(item, printed); code != result::kSuccess) {
        return refused("a registration item", code);
      }
    }
    document->setRegistrationArchiveId(archive_->archiveId());
    bytes::Bytes numbers(28, 0);  // taxpayer number (12), registration number (16)
    bytes::storeBytes(numbers, 0, 12, bytes::view(std::string_view("7701234567")));
    bytes::storeBytes(numbers, 12, 16, bytes::view(std::string_view("0000000000012345")));
    return store(document, numbers, kHistoryStart - 3600);
  }

  // Shifts a day apart, twelve hours long, while the history has the days; closer and shorter
  // when it has not.
  void frameShifts() {
    const std::uint32_t window = kHistoryEnd - kHistoryStart;
    spacing_ = options_.shifts == 0 ? kDay : std::min(kDay, window / options_.shifts);
    shiftLength_ = std::min(kWorkingDay, spacing_ / 4 * 3);
  }

  // The documents of shift `index` (counted from 0) at times that rise by at least a second,
  // all before the next shift's opening.
  std::string runShift(std::uint32_t index) {
    const std::uint32_t receipts = options_.receiptsPerShift;
    const std::uint32_t documents = receipts + kCashAndShiftDocuments;
    const std::uint32_t slot = std::max<std::uint32_t>(1, shiftLength_ / documents);
    const std::uint32_t opening =
        kHistoryStart + index * spacing_ + static_cast<std::uint32_t>(random_.below(spacing_ / 8 + 1));
    std::uint32_t position = 0;
    const auto nextTime = [&] {
      return opening + position++ * slot + static_cast<std::uint32_t>(random_.below(slot / 2 + 1));
    };

    const auto& who = kCashiers[random_.below(std::size(kCashiers))];
    const Cashier cashier{who.number, kCashierRights, who.password, text(who.name)};
    const std::int64_t changeFund = random_.between(4, 10) * 500 * kRouble;
    std::string reason = cashDocument(DocumentType::kShiftOpening, cashier, 0, nextTime());
    if (reason.empty()) reason = cashDocument(DocumentType::kCashDeposit, cashier, changeFund, nextTime());
    for (std::uint32_t number = 0; number < receipts && reason.empty(); ++number) {
      if (number == receipts / 2) reason = settleDrawer(cashier, changeFund, nextTime());
      if (!reason.empty()) break;
      const std::uint8_t kind = kindOf(number, receipts);  // drawn before the time: one order everywhere
      reason = receipt(cashier, kind, nextTime());
    }
    if (reason.empty() && receipts == 0) reason = settleDrawer(cashier, changeFund, nextTime());
    if (reason.empty()) {
      const auto drawer = static_cast<std::int64_t>(state_.drawerCash());
      reason = cashDocument(DocumentType::kCashPayout, cashier, drawer, nextTime());
    }
    if (reason.empty()) reason = cashDocument(DocumentType::kShiftClosing, cashier, 0, nextTime());
    return reason;
  }

  // Halfway through the shift: the takings above the change fund go to the safe, or a drawer
  // that ran low gets more change.
  std::string settleDrawer(const Cashier& cashier, std::int64_t changeFund, std::uint32_t time) {
    const auto drawer = static_cast<std::int64_t>(state_.drawerCash());
    constexpr std::int64_t kBundle = 100 * kRouble;
    if (drawer - changeFund >= 10 * kBundle) {
      return cashDocument(DocumentType::kCashPayout, cashier, (drawer - changeFund) / kBundle * kBundle, time);
    }
    return cashDocument(DocumentType::kCashDeposit, cashier, 10 * kBundle, time);
  }

  // Mostly sales; each shift of four receipts or more holds a sale return, a purchase and a
  // purchase return at a quarter, a half and three quarters of its way.
  std::uint8_t kindOf(std::uint32_t number, std::uint32_t receipts) {
    if (receipts >= 4) {
      if (number == receipts / 4) return 2;
      if (number == receipts / 2) return 1;
      if (number == receipts * 3 / 4) return 3;
    }
    const std::uint64_t draw = random_.below(100);
    return draw < 90 ? 0 : draw < 94 ? 2 : draw < 97 ? 1 : 3;
  }

  // A shift opening or closing (amount 0), a deposit or a payout.
  std::string cashDocument(std::uint8_t type, const Cashier& cashier, std::int64_t amount, std::uint32_t time) {
    auto document = createDocument(type, state_.currentModelData().get(), state_.currentRegData().get(), cashier);
    if (const int code = document->applyOpenData({}, state_); code != result::kSuccess) {
      return refused("a document", code);
    }
    return store(document, amount != 0 ? amountData(amount) : bytes::Bytes(), time);
  }

  std::string receipt(const Cashier& cashier, std::uint8_t kind, std::uint32_t time) {
    auto document = createDocument(DocumentType::kReceipt, state_.currentModelData().get(),
                                   state_.currentRegData().get(), cashier, ReceiptTables{&sections_, &discounts_});
    if (const int code = document->applyOpenData(bytes::Bytes{kind}, state_); code != result::kSuccess) {
      return refused("a receipt", code);
    }
    const bool buyingIn = kind == 1 || kind == 3;
    const bool sale = kind == 0;
    std::uint64_t lines = 1 + random_.below(sale ? 3 : 2);
    if (sale && random_.chance(30)) lines += random_.below(6);
    std::string printed;
    for (std::uint64_t line = 0; line < lines; ++line) {
      const Ware& ware =
          buyingIn ? kBoughtIn[random_.below(std::size(kBoughtIn))] : kGoods[random_.below(std::size(kGoods))];
      if (const int code = document->addTag(itemLine(ware, sale), printed); code != result::kSuccess) {
        return refused("a receipt item", code);
      }
    }
    const auto& receipt = static_cast<const ReceiptDoc&>(*document);  // the class of type 3
    return store(document, payment(receipt), time);
  }

  // One item line as the host sends it. Sales sometimes take a programmed discount, or a
  // manual one that drops the kopecks.
  TlvItem itemLine(const Ware& ware, bool sale) {
    const std::int64_t thousandths =
        ware.weighed ? random_.between(150, 2500) : 1000 * random_.between(1, ware.price < 10000 ? 5 : 2);
    TlvList items;
    items.emplace_back().setText(tag::kItemName, text(ware.name));
    if (*ware.code != '\0') items.emplace_back().setText(tag::kProductCode, ware.code);
    items.emplace_back().setVarInt(tag::kPrice, static_cast<std::uint64_t>(ware.price));
    items.emplace_back().setDecimal(tag::kQuantity, Decimal(1000, thousandths));
    items.emplace_back().setText(tag::kUnit, text(ware.weighed ? "кг" : "шт"));
    items.emplace_back().setU8(tag::kSectionNumber, ware.section);
    items.emplace_back().setU8(tag::kTaxIndex, ware.taxIndex);
    const std::int64_t cost = ware.price * thousandths / 1000;
    const std::uint64_t draw = sale ? random_.below(100) : 100;
    if (draw < 8) {
      items.emplace_back().setU8(tag::kDiscountNumber, draw < 5 ? 1 : 3);
    } else if (draw < 11 && cost > 2 * kDiscounts[1].value) {
      items.emplace_back().setU8(tag::kDiscountNumber, 2);
    } else if (draw < 15 && cost > kRouble && cost % kRouble != 0) {
      items.emplace_back().setVarInt(tag::kItemDiscount, static_cast<std::uint64_t>(cost % kRouble));
    }
    TlvItem line;
    line.setList(tag::kReceiptItem, items);
    return line;
  }

  // Incoming money by cash (handed over in notes, with change), card, or both; outgoing money
  // from the drawer while it holds more than enough, else by card.
  bytes::Bytes payment(const ReceiptDoc& receipt) {
    const std::int64_t total = kopecksOf(receipt.total());
    if (!receipt.isIncoming()) {
      const bool fromDrawer = total < static_cast<std::int64_t>(state_.drawerCash()) && random_.chance(70);
      return fromDrawer ? paymentData(total, 0) : paymentData(0, total);
    }
    const std::uint64_t way = random_.below(100);
    if (way < 35) return paymentData(0, total);
    if (way < 45 && total >= 2 * kRouble) {
      const std::int64_t electronic = total / 2 / kRouble * kRouble;
      return paymentData(handedOver(total - electronic), electronic);
    }
    return paymentData(handedOver(total), 0);
  }

  // The exact sum, or the sum made up to a whole number of one kind of note.
  std::int64_t handedOver(std::int64_t due) {
    if (random_.chance(25)) return due;
    const std::int64_t note = kNotes[random_.below(std::size(kNotes))];
    return (due + note - 1) / note * note;
  }

  // Finishes the document at `time` and stores it as the documents command does; the device
  // state then follows it as far as later documents read it.
  std::string store(const std::shared_ptr<BaseWorkDocument>& document, bytes::View finishing, std::uint32_t time) {
    std::uint16_t missingTag = 0;
    ++documents_;
    const auto failed = [&](const char* step, int code) {
      return refused(std::string(step) + " document " + std::to_string(documents_) + " of type " +
                         std::to_string(document->type()),
                     code);
    };
    if (const int code = document->finish(time, state_.deviceKey(), finishing, missingTag, state_);
        code != result::kSuccess) {
      return failed("finishing", code);
    }
    if (const int code = archive_->storeDocument(document); code != result::kSuccess) return failed("storing", code);
    const std::uint64_t drawer = state_.drawerCash();
    switch (document->type()) {
      case DocumentType::kShiftOpening:
        state_.setShiftNumber(document->shiftNumber());
        state_.setReceiptCounter(0);
        break;
      case DocumentType::kCashDeposit:
      case DocumentType::kCashPayout: {
        const auto& cash = static_cast<const CashCtrlDocument&>(*document);  // the class of types 5 and 6
        const auto amount = static_cast<std::uint64_t>(kopecksOf(cash.amount()));
        state_.setDrawerCash(cash.isDeposit() ? drawer + amount : drawer - amount);
        break;
      }
      case DocumentType::kReceipt: {
        const auto& receipt = static_cast<const ReceiptDoc&>(*document);  // the class of type 3
        const auto cash = static_cast<std::uint64_t>(kopecksOf(receipt.cash()));
        state_.setDrawerCash(receipt.isIncoming() ? drawer + cash : drawer - cash);
        state_.setReceiptCounter(receipt.receiptNumber());
        break;
      }
      default:
        break;
    }
    return {};
  }

  fs::path root_;
  GeneratorOptions options_;
  Random random_;
  std::unique_ptr<platform::Board> simulated_;
  // The generator's clock over files that are synced once at the end (syncTree) instead of at
  // every store.
  platform::SyncSwitchBoard unsynced_;
  platform::SteppedClockBoard board_;
  DeviceState state_;
  IdentityMemory identity_;
  CashierTable cashiers_;
  SectionTable sections_;
  DiscountTable discounts_;
  std::unique_ptr<ArchiveStore> archive_;
  std::uint32_t spacing_ = kDay;
  std::uint32_t shiftLength_ = kWorkingDay;
  std::uint32_t documents_ = 0;
};

}  // namespace

std::string generateBoard(const std::string& dir, const GeneratorOptions& options) {
  return Generator(dir, options).run();
}

}  // namespace frarchive
