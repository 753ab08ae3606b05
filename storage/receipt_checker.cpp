#include "storage/receipt_checker.h"

#include <algorithm>
#include <map>
#include <optional>
#include <utility>

#include "reference/receipt_operation.h"
#include "reference/section.h"
#include "reference/tax_rate.h"
#include "storage/receipt_archive.h"
#include "values/cp866.h"
#include "values/decimal.h"
#include "values/tags.h"
#include "values/tlv.h"

namespace receipt_checker {
namespace {

std::string money(std::int64_t kopecks) { return Decimal(Decimal::kMoneyScale, kopecks).toString(); }

std::string storedAndExpected(const std::string& stored, const std::string& expected, const std::string& why = {}) {
  return "stored " + stored + ", expected " + expected + (why.empty() ? "" : ": " + why);
}

// One item of a run and where it lies in the receipt's data.
struct Placed {
  TlvItem item;
  std::size_t at = 0;  // its first byte; its value begins kHeaderSize later
  std::size_t value() const { return at + TlvItem::kHeaderSize; }
};

// The items of `run`, which begins at `base` in the receipt's data; nullopt when one runs past
// the end.
std::optional<std::vector<Placed>> placedItems(bytes::View run, std::size_t base) {
  std::vector<Placed> items;
  bytes::View rest = run;
  while (!rest.empty()) {
    Placed placed{{}, base + (run.size() - rest.size())};
    if (!placed.item.decodeFront(rest)) return std::nullopt;
    items.push_back(std::move(placed));
  }
  return items;
}

// Where the value of each sub-item of a container begins, the first of each tag.
using ValueOffsets = std::map<std::uint16_t, std::size_t>;

std::size_t placeOf(const ValueOffsets& values, std::uint16_t tag, std::size_t otherwise) {
  const auto found = values.find(tag);
  return found == values.end() ? otherwise : found->second;
}

bool isTaxRateTag(std::uint16_t tag) {
  return tag >= tag::kFirstTaxRate && tag < tag::kFirstTaxRate + RegData::kTaxRateSlots;
}

// A variable integer holds one to eight bytes.
bool isVarInt(const TlvItem& item) { return !item.value().empty() && item.value().size() <= 8; }

struct StoredRate {
  std::size_t piece = 0;  // among the pieces
  std::size_t at = 0;
  ValueOffsets values;
  bool decoded = false;
  TaxRate stored;
  TaxRate registered;  // the registration's rate of this index; the stored one without a registration
  std::optional<std::int64_t> sum;
  bool putRight = false;  // the repaired data hold the registered rate with `sumPutRight`
  std::int64_t linesSum = 0;
  std::int64_t sumPutRight = 0;
};

struct Line {
  std::size_t piece = 0;
  std::size_t at = 0;
  std::string name;  // "item line 2"
  ValueOffsets values;
  ReceiptOperation operation;  // its section and rate refer to the two records below
  Section section;
  TaxRate rate;
  std::int64_t total = 0;
  std::optional<std::int64_t> tax;
  bool hasDiscount = false;
  bool readable = false;    // every field decoded and within the register's limits
  bool reported = false;    // a break names this line already
  bool moneyHolds = false;  // its total follows from price, quantity and discount
  bool taxHolds = false;    // its tax amount is its rate's tax of its total
  std::uint8_t index = 0;   // the tax index it counts under
  std::optional<std::int64_t> totalPutRight;

  const ReceiptOperation& bound() {
    operation.section = &section;
    operation.taxRate = &rate;
    return operation;
  }
};

class ReceiptRules {
 public:
  ReceiptRules(bytes::View data, const RegData* registration)
      : data_(data), registration_(registration), formLength_(receipt_archive::storedFormLength(data)) {}

  Result run() {
    readStoredForm();
    const auto pieces = placedItems(data_.subspan(formLength_), formLength_);
    if (!pieces) return std::move(result_);  // the stored items do not decode: said already
    pieces_ = *pieces;
    for (std::size_t i = 0; i < pieces_.size(); ++i) readPiece(i);
    for (Line& line : lines_) weighLine(line);
    checkLineSum();
    std::map<std::uint8_t, std::size_t> rateItems;
    for (const auto& [index, rate] : rates_) rateItems.emplace(index, rate.at);
    checkCoverage(rateItems, "tax rate", tag::kTaxIndex, [](const Line& line) { return line.index; });
    checkCoverage(sections_, "section", tag::kSectionNumber, [](const Line& line) { return line.section.number; });
    checkRates();
    if (repairs_ > 0) result_.repaired = repairedData();
    return std::move(result_);
  }

 private:
  void report(std::size_t offset, std::string field, std::string detail = {}) {
    result_.breaks.push_back({offset, std::move(field), std::move(detail)});
  }
  void report(Line& line, std::size_t offset, const std::string& what, std::string detail = {}) {
    report(offset, line.name + ": " + what, std::move(detail));
    line.reported = true;
  }

  void readStoredForm() {
    const auto items = placedItems(data_.subspan(1, formLength_ - 1), 1);
    if (!items) return;
    for (const Placed& placed : *items) {
      if (placed.item.tag() == tag::kReceiptTotal) receiptTotal_ = static_cast<std::int64_t>(placed.item.getVarInt());
    }
  }

  void readPiece(std::size_t piece) {
    const Placed& placed = pieces_[piece];
    const std::uint16_t itemTag = placed.item.tag();
    if (isTaxRateTag(itemTag)) {
      readRate(piece);
    } else if (itemTag == tag::kSection) {
      readSection(placed);
    } else if (itemTag == tag::kReceiptItem) {
      readLine(piece);
    } else {
      report(placed.at, "unknown item " + std::to_string(itemTag) + " among the receipt's pieces");
      unreadable_ = true;
    }
  }

  static ValueOffsets valueOffsets(const Placed& placed) {
    ValueOffsets values;
    for (const Placed& sub : placedItems(placed.item.value(), placed.value()).value_or(std::vector<Placed>{})) {
      values.try_emplace(sub.item.tag(), sub.value());
    }
    return values;
  }

  void readRate(std::size_t piece) {
    const Placed& placed = pieces_[piece];
    StoredRate rate;
    rate.piece = piece;
    rate.at = placed.at;
    rate.values = valueOffsets(placed);
    std::size_t slot = 0;
    Decimal sum;
    const std::string name = "tax rate " + std::to_string(placed.item.tag() - tag::kFirstTaxRate + 1);
    rate.decoded = rate.stored.fromTlv(placed.item, slot, sum);  // sets the slot whatever follows
    if (!rate.decoded) report(placed.at, name + ": its items do not decode");
    if (rate.decoded && rate.values.contains(tag::kItemTaxAmount)) rate.sum = sum.mantissa();
    rate.registered = registration_ != nullptr ? TaxRate::fromSlot(*registration_, slot) : rate.stored;
    const auto index = static_cast<std::uint8_t>(slot + 1);
    if (!rates_.emplace(index, std::move(rate)).second) report(placed.at, name + ": stored twice");
  }

  void readSection(const Placed& placed) {
    Section section;
    const ValueOffsets values = valueOffsets(placed);
    // As the register writes it: the number, then the name when there is one, and nothing else.
    const auto subs = placedItems(placed.item.value(), placed.value());
    const bool whole = subs && !subs->empty() && subs->size() <= 2 && (*subs)[0].item.tag() == tag::kSectionNumber &&
                       (subs->size() == 1 || (*subs)[1].item.tag() == tag::kSectionName);
    if (!whole) {
      report(placed.at, "section item: its items are not a number and a name");
      unreadable_ = true;
      return;
    }
    if (!section.fromTlv(placed.item)) {
      report(placeOf(values, tag::kSectionNumber, placed.at), "section item: number " +
                                                                  std::to_string(section.number) +
                                                                  " outside 1 to 20");
      unreadable_ = true;
      return;
    }
    const std::size_t at = placeOf(values, tag::kSectionNumber, placed.at);
    if (!sections_.emplace(section.number, at).second) {
      report(at, "section item " + std::to_string(section.number) + ": stored twice");
    }
  }

  void readLine(std::size_t piece) {
    const Placed& placed = pieces_[piece];
    Line& line = lines_.emplace_back();
    line.piece = piece;
    line.at = placed.at;
    line.name = "item line " + std::to_string(lines_.size());
    const auto subs = placedItems(placed.item.value(), placed.value());
    if (!subs) {
      report(line, placed.at, "its items do not decode");
      return;
    }
    ReceiptOperation& operation = line.operation;
    std::optional<std::int64_t> discount;
    for (const Placed& sub : *subs) {
      const TlvItem& item = sub.item;
      line.values.try_emplace(item.tag(), sub.value());
      bool fits = true;
      switch (item.tag()) {
        case tag::kItemName: operation.name = item.getText(); break;
        case tag::kProductCode: operation.productCode = item.getText(); break;
        case tag::kMarkingCode: operation.markingCode = item.getText(); break;
        case tag::kUnit: operation.unit = item.getText(); break;
        case tag::kSectionNumber: line.section.number = item.getU8(&fits); break;
        case tag::kTaxIndex: operation.taxIndex = item.getU8(&fits); break;
        case tag::kPrice:
          fits = isVarInt(item);
          operation.price = Decimal(Decimal::kMoneyScale, item.getVarInt());
          break;
        case tag::kItemDiscount:
          fits = isVarInt(item);
          discount = static_cast<std::int64_t>(item.getVarInt());
          break;
        case tag::kItemTotal:
          fits = isVarInt(item);
          line.total = static_cast<std::int64_t>(item.getVarInt());
          break;
        case tag::kItemTaxAmount:
          fits = isVarInt(item);
          line.tax = static_cast<std::int64_t>(item.getVarInt());
          break;
        case tag::kQuantity:
          fits = !item.value().empty() && item.value().size() <= 9;
          operation.quantity = item.getDecimal();
          break;
        default:
          report(line, sub.at, "unknown item " + std::to_string(item.tag()));
          return;
      }
      if (!fits) {
        report(line, sub.value(), "item " + std::to_string(item.tag()) + " of " + std::to_string(item.value().size()) +
                                      " bytes does not hold its value");
        return;
      }
    }
    const std::pair<std::uint16_t, const char*> required[] = {
        {tag::kItemName, "name"}, {tag::kSectionNumber, "section"}, {tag::kTaxIndex, "tax index"},
        {tag::kPrice, "price"},   {tag::kItemTotal, "total"},       {tag::kQuantity, "quantity"}};
    for (const auto& [requiredTag, what] : required) {
      if (!line.values.contains(requiredTag)) {
        report(line, placed.at, std::string("no ") + what);
        return;
      }
    }
    line.hasDiscount = discount.has_value();
    operation.manualDiscount = Decimal(Decimal::kMoneyScale, discount.value_or(0));
    line.index = operation.taxIndex;
    line.readable = checkLimits(line);
  }

  // The fields the register checks one by one when it takes a line.
  bool checkLimits(Line& line) {
    const ReceiptOperation& operation = line.operation;
    const auto tooLong = [&](std::uint16_t fieldTag, const std::string& text, std::size_t most, const char* what) {
      if (text.size() <= most) return false;
      report(line, line.values.at(fieldTag), std::string(what) + " of " + std::to_string(text.size()) +
                                                  " bytes, at most " + std::to_string(most));
      return true;
    };
    if (operation.name.empty()) {
      report(line, line.values.at(tag::kItemName), "empty name");
      return false;
    }
    if (tooLong(tag::kItemName, operation.name, ReceiptOperation::kMaxNameSize, "name") ||
        tooLong(tag::kProductCode, operation.productCode, ReceiptOperation::kMaxCodeSize, "product code") ||
        tooLong(tag::kMarkingCode, operation.markingCode, ReceiptOperation::kMaxCodeSize, "marking code") ||
        tooLong(tag::kUnit, operation.unit, ReceiptOperation::kMaxUnitSize, "unit")) {
      return false;
    }
    if (!line.section.isValid()) {
      report(line, line.values.at(tag::kSectionNumber),
             "section " + std::to_string(line.section.number) + " outside 1 to 20");
      return false;
    }
    if (operation.taxIndex < 1 || operation.taxIndex > RegData::kTaxRateSlots) {
      report(line, line.values.at(tag::kTaxIndex),
             "tax index " + std::to_string(operation.taxIndex) + " outside 1 to 5");
      return false;
    }
    line.rate = rateOf(operation.taxIndex);
    if (!line.rate.isValid()) {
      if (registration_ != nullptr) {
        report(line, line.values.at(tag::kTaxIndex),
               "tax index " + std::to_string(operation.taxIndex) + " names no tax rate of the registration");
      }
      return false;  // without a registration: a missing rate item, said below
    }
    if (operation.quantity.mantissa() <= 0 || !operation.quantity.isRepresentable()) {
      report(line, line.values.at(tag::kQuantity),
             "quantity " + (operation.quantity.isRepresentable() ? operation.quantity.toString() : std::string("?")) +
                 " is not above zero with at most nine places");
      return false;
    }
    return true;
  }

  // The rate a line of `index` was taxed at: the registration's, else the one stored.
  TaxRate rateOf(std::uint8_t index) const {
    if (registration_ != nullptr) return TaxRate::fromSlot(*registration_, index - 1u);
    const auto stored = rates_.find(index);
    return stored == rates_.end() ? TaxRate() : stored->second.stored;
  }

  // Whether the line's total follows from its price, quantity and discount as the register
  // computes them, and its tax amount from its total. Without a programmed discount the
  // difference between cost and total is a manual discount, which must lie within the cost.
  void weighLine(Line& line) {
    if (!line.readable) return;
    ReceiptOperation& operation = line.operation;
    if (!line.hasDiscount) {
      operation.manualDiscount = operation.cost() - Decimal(Decimal::kMoneyScale, line.total);
    }
    const ReceiptOperation& bound = line.bound();
    line.moneyHolds = bound.isValid() && bound.total().mantissa() == line.total;
    line.taxHolds = taxHolds(line.rate, line.total, line.tax);
  }

  static bool taxHolds(const TaxRate& rate, std::int64_t total, std::optional<std::int64_t> tax) {
    if (rate.hasNoTaxAmount()) return !tax;
    return tax && *tax == rate.taxAmountFor(Decimal(Decimal::kMoneyScale, total)).mantissa();
  }

  std::string moneyDetail(Line& line) {
    const ReceiptOperation& operation = line.bound();
    const std::string product = operation.price.toString() + " × " + operation.quantity.toString();
    if (line.hasDiscount) {
      return "stored " + money(line.total) + ", " + product + " − " + money(operation.manualDiscount.mantissa()) +
             " = " + (operation.cost() - operation.manualDiscount).toString();
    }
    return "stored " + money(line.total) + ", not from 0 to " + product + " = " + operation.cost().toString();
  }

  // The lines' totals add up to the receipt's total. A line whose total breaks its own rule as
  // well is the one changed; the receipt's total (which the data check value covers) and the
  // other lines give its total back.
  void checkLineSum() {
    std::int64_t sum = 0;
    bool whole = !unreadable_;
    for (const Line& line : lines_) {
      whole = whole && line.readable;
      sum += line.total;
    }
    std::vector<Line*> suspects;
    for (Line& line : lines_) {
      if (line.readable && (!line.moneyHolds || !line.taxHolds)) suspects.push_back(&line);
    }
    if (whole && receiptTotal_ && sum != *receiptTotal_) {
      // With no line breaking its own rule, the total changed is one its rule does not fix: a
      // line without a programmed discount, whose total may be anything up to its cost.
      if (suspects.empty()) {
        for (Line& line : lines_) {
          if (!line.hasDiscount) suspects.push_back(&line);
        }
        if (suspects.size() > 1) suspects.clear();
      }
      if (suspects.empty()) {
        report(formLength_, "item lines add up to " + money(sum) + ", not to the receipt's total " +
                                money(*receiptTotal_));
        sumsUnknown_ = true;
        return;
      }
      if (suspects.size() == 1) {
        Line& line = *suspects.front();
        const std::int64_t total = *receiptTotal_ - (sum - line.total);
        report(line, line.values.at(tag::kItemTotal), "total",
               storedAndExpected(money(line.total), money(total), "the receipt's total less its other lines"));
        line.totalPutRight = total;
        line.total = total;
        ++repairs_;
        weighLine(line);
        if (line.taxHolds) return;
        suspects = {&line};
      } else {
        sumsUnknown_ = true;
      }
    }
    for (Line* line : suspects) {
      if (!line->moneyHolds && !line->reported) {
        report(*line, line->at, "total is not price × quantity less the discount", moneyDetail(*line));
      }
      if (!line->taxHolds) checkTax(*line);
    }
  }

  // A tax amount that is another stored rate's tax of the total tells a changed tax index.
  void checkTax(Line& line) {
    for (const auto& [index, rate] : rates_) {
      if (index == line.index || !rate.registered.isValid() || !taxHolds(rate.registered, line.total, line.tax)) {
        continue;
      }
      report(line, line.values.at(tag::kTaxIndex), "tax index",
             storedAndExpected(std::to_string(line.index), std::to_string(index), "its tax amount is that rate's"));
      line.index = index;
      return;
    }
    const bool yields = !line.rate.hasNoTaxAmount();
    const std::string expected =
        yields ? money(line.rate.taxAmountFor(Decimal(Decimal::kMoneyScale, line.total)).mantissa()) : "none";
    report(line, placeOf(line.values, tag::kItemTaxAmount, line.at), "tax amount",
           storedAndExpected(line.tax ? money(*line.tax) : "none", expected));
  }

  // The receipt stores exactly the tax rates and sections its lines name. One named but not
  // stored beside one stored but not named is one changed byte, in either place.
  // `stored`: where each stored item lies, by its index or number. A tax index in doubt leaves
  // the tax sums unknown.
  template <typename KeyOf>
  void checkCoverage(const std::map<std::uint8_t, std::size_t>& stored, const std::string& what,
                     std::uint16_t lineTag, KeyOf keyOf) {
    const bool sumsFollow = lineTag == tag::kTaxIndex;
    if (unreadable_) return;  // an unknown piece may be the one missing
    std::map<std::uint8_t, Line*> named;  // the first line naming each
    bool allRead = true;
    for (Line& line : lines_) {
      allRead = allRead && line.readable;
      if (line.readable) named.try_emplace(keyOf(line), &line);
    }
    std::vector<std::uint8_t> missing, unnamed;
    for (const auto& [key, line] : named) {
      if (!stored.contains(key)) missing.push_back(key);
    }
    for (const auto& [key, at] : stored) {
      if (allRead && !named.contains(key)) unnamed.push_back(key);
    }
    if (!missing.empty() && sumsFollow) sumsUnknown_ = true;
    const std::string item = what + " item";
    const auto noItem = [&](std::uint8_t key) { return what + " " + std::to_string(key) + " has no " + item; };
    if (missing.size() == 1 && unnamed.size() == 1) {
      Line& line = *named.at(missing[0]);
      report(line, line.values.at(lineTag), noItem(missing[0]),
             "and " + item + " " + std::to_string(unnamed[0]) + " at " + std::to_string(stored.at(unnamed[0])) +
                 " is named by no line");
      return;
    }
    for (const std::uint8_t key : missing) {
      Line& line = *named.at(key);
      report(line, line.values.at(lineTag), noItem(key));
    }
    for (const std::uint8_t key : unnamed) {
      report(stored.at(key), item + " " + std::to_string(key) + " is named by no line");
    }
  }

  // Each tax-rate item is the registration's rate with the tax sum of the lines under it.
  void checkRates() {
    const bool linesKnown = !unreadable_ && !sumsUnknown_ &&
                            std::all_of(lines_.begin(), lines_.end(), [](const Line& line) { return line.readable; });
    for (const Line& line : lines_) {
      const auto rate = rates_.find(line.index);
      if (line.readable && rate != rates_.end()) {
        rate->second.linesSum += rate->second.registered.taxAmountFor(Decimal(Decimal::kMoneyScale, line.total)).mantissa();
      }
    }
    for (auto& [index, rate] : rates_) {
      const std::string name = "tax rate " + std::to_string(index);
      if (registration_ != nullptr) {
        if (!rate.registered.isValid()) {
          report(rate.at, name + ": no such rate in the registration");
          continue;
        }
        // An item that does not decode (said already) is the registration's rate once more.
        rate.putRight = !rate.decoded || compareWithRegistration(name, index, rate);
      }
      rate.sumPutRight = rate.sum.value_or(0);
      if (!rate.decoded) {
        rate.putRight = rate.putRight && linesKnown;
        rate.sumPutRight = rate.linesSum;
      } else if (linesKnown && (!rate.sum || *rate.sum != rate.linesSum)) {
        report(placeOf(rate.values, tag::kItemTaxAmount, rate.at), name + ": tax sum",
               storedAndExpected(rate.sum ? money(*rate.sum) : "none", money(rate.linesSum), "the sum of its lines' tax"));
        rate.putRight = true;
        rate.sumPutRight = rate.linesSum;
      }
      if (rate.putRight) ++repairs_;
    }
  }

  // The first sub-item in which the stored rate item is not the registration's rate as the
  // register writes it, byte for byte (a kind or percentage with bits the rate word has no room
  // for differs too); true when one is not.
  bool compareWithRegistration(const std::string& name, std::uint8_t index, const StoredRate& rate) {
    const Placed& placed = pieces_[rate.piece];
    const std::size_t slot = index - 1u;
    const TlvItem expected = rate.sum ? rate.registered.toTlv(slot, Decimal(Decimal::kMoneyScale, *rate.sum))
                                      : rate.registered.toTlv(slot);
    const bytes::Bytes& found = placed.item.value();
    const bytes::Bytes& wanted = expected.value();
    if (found == wanted) return false;
    const auto differs = std::mismatch(found.begin(), found.end(), wanted.begin(), wanted.end());
    const std::size_t at = placed.value() + static_cast<std::size_t>(differs.first - found.begin());
    const auto subs = placedItems(found, placed.value()).value_or(std::vector<Placed>{});
    const auto sub = std::find_if(subs.begin(), subs.end(), [at](const Placed& item) {
      return at < item.value() + item.item.value().size();
    });
    const TaxRate& registered = rate.registered;
    if (sub == subs.end()) {
      report(at, name + ": not the registration's rate");
    } else if (sub->item.tag() == tag::kTaxRateKind) {
      report(sub->value(), name + ": kind",
             "stored " + std::to_string(sub->item.getU8()) + ", registered " + std::to_string(registered.kind()));
    } else if (sub->item.tag() == tag::kTaxRatePercentage) {
      report(sub->value(), name + ": percentage",
             "stored " + Decimal(100, sub->item.getU16()).toString() + ", registered " +
                 registered.percentage().toString());
    } else if (sub->item.tag() == tag::kTaxRateName) {
      report(sub->value(), name + ": name",
             "stored \"" + cp866::toUtf8(sub->item.getText()) + "\", registered \"" +
                 cp866::toUtf8(registered.name()) + "\"");
    } else {
      report(sub->at, name + ": item " + std::to_string(sub->item.tag()) + " is not the registration's rate");
    }
    return true;
  }

  // The data with the lines' totals and the tax-rate items put right.
  bytes::Bytes repairedData() const {
    bytes::Bytes out(data_.begin(), data_.begin() + static_cast<std::ptrdiff_t>(formLength_));
    std::map<std::size_t, TlvItem> replaced;
    for (const auto& [index, rate] : rates_) {
      if (rate.putRight) {
        replaced[rate.piece] = rate.registered.toTlv(index - 1u, Decimal(Decimal::kMoneyScale, rate.sumPutRight));
      }
    }
    for (const Line& line : lines_) {
      if (!line.totalPutRight) continue;
      TlvList items = parseList(pieces_[line.piece].item);
      for (TlvItem& item : items) {
        if (item.tag() == tag::kItemTotal) item.setVarInt(tag::kItemTotal, static_cast<std::uint64_t>(*line.totalPutRight));
      }
      replaced[line.piece].setList(tag::kReceiptItem, items);
    }
    for (std::size_t i = 0; i < pieces_.size(); ++i) {
      const auto found = replaced.find(i);
      bytes::appendBytes(out, (found != replaced.end() ? found->second : pieces_[i].item).encode());
    }
    return out;
  }

  bytes::View data_;
  const RegData* registration_;
  std::size_t formLength_;
  std::optional<std::int64_t> receiptTotal_;
  std::vector<Placed> pieces_;
  std::map<std::uint8_t, StoredRate> rates_;        // by tax index
  std::map<std::uint8_t, std::size_t> sections_;    // by number: where its number lies
  std::vector<Line> lines_;
  bool unreadable_ = false;   // a piece is unknown or a section item could not be read
  bool sumsUnknown_ = false;  // a line's total or tax index is in doubt
  std::size_t repairs_ = 0;
  Result result_;
};

}  // namespace

Result checkReceipt(bytes::View data, const RegData* registration) {
  if (data.empty()) return {};
  return ReceiptRules(data, registration).run();
}

}  // namespace receipt_checker
