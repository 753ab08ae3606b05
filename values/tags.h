// The tag numbers of the TLV items the service reads, stores and sends: one table for the
// whole service. Standard fields are 10000 plus their fiscal-data tag number; the register's
// own items use 11300-11304, 12117 and 13102-13114.
#pragma once

#include <cstdint>

namespace tag {

inline constexpr std::uint16_t kDateTime = 11012;
inline constexpr std::uint16_t kReceiptTotal = 11020;
inline constexpr std::uint16_t kCashierName = 11021;
inline constexpr std::uint16_t kQuantity = 11023;
inline constexpr std::uint16_t kItemName = 11030;
inline constexpr std::uint16_t kCashPaid = 11031;
inline constexpr std::uint16_t kShiftNumber = 11038;
inline constexpr std::uint16_t kDocumentNumber = 11040;
inline constexpr std::uint16_t kReceiptNumber = 11042;
inline constexpr std::uint16_t kItemTotal = 11043;
inline constexpr std::uint16_t kReceiptKind = 11054;
inline constexpr std::uint16_t kReceiptItem = 11059;
inline constexpr std::uint16_t kFiscalSign = 11077;
inline constexpr std::uint16_t kPrice = 11079;
inline constexpr std::uint16_t kElectronicPaid = 11081;
inline constexpr std::uint16_t kItemTaxAmount = 11102;
inline constexpr std::uint16_t kProductCode = 11163;
inline constexpr std::uint16_t kTaxIndex = 11199;
inline constexpr std::uint16_t kSection = 11300;        // container: number, then name
inline constexpr std::uint16_t kSectionNumber = 11301;  // u8
inline constexpr std::uint16_t kSectionName = 11302;    // text
inline constexpr std::uint16_t kDiscountNumber = 11303; // u8, from the host
inline constexpr std::uint16_t kItemDiscount = 11304;   // variable integer, kopecks
inline constexpr std::uint16_t kMarkingCode = 12000;
inline constexpr std::uint16_t kUnit = 12108;
inline constexpr std::uint16_t kFiscalizationNumber = 12117;

}  // namespace tag
