// The tag numbers of the TLV items the service reads, stores and sends: one table for the
// whole service. Standard fields are 10000 plus their fiscal-data tag number; the register's
// own items use 11300-11304, 12117 and 13102-13114.
#pragma once

#include <cstdint>

namespace tag {

inline constexpr std::uint16_t kAddress = 11009;  // of settlement
inline constexpr std::uint16_t kDateTime = 11012;  // also the registration time
inline constexpr std::uint16_t kTaxpayerNumber = 11018;
inline constexpr std::uint16_t kReceiptTotal = 11020;
inline constexpr std::uint16_t kCashierName = 11021;
inline constexpr std::uint16_t kQuantity = 11023;
inline constexpr std::uint16_t kItemName = 11030;
inline constexpr std::uint16_t kCashPaid = 11031;
inline constexpr std::uint16_t kRegistrationNumber = 11037;
inline constexpr std::uint16_t kShiftNumber = 11038;
inline constexpr std::uint16_t kDocumentNumber = 11040;
inline constexpr std::uint16_t kArchiveId = 11041;
inline constexpr std::uint16_t kReceiptNumber = 11042;
inline constexpr std::uint16_t kItemTotal = 11043;
inline constexpr std::uint16_t kUserName = 11048;
inline constexpr std::uint16_t kReceiptKind = 11054;
inline constexpr std::uint16_t kReceiptItem = 11059;
inline constexpr std::uint16_t kFiscalSign = 11077;
inline constexpr std::uint16_t kPrice = 11079;
// Counter blocks in tagged form: per-kind containers, their fields and the cash fields.
inline constexpr std::uint16_t kReceipts = 11118;
inline constexpr std::uint16_t kSaleCounters = 11129;
inline constexpr std::uint16_t kSaleReturnCounters = 11130;
inline constexpr std::uint16_t kPurchaseCounters = 11131;
inline constexpr std::uint16_t kPurchaseReturnCounters = 11132;
inline constexpr std::uint16_t kCash = 11136;  // the drawer cash at a block's top level
inline constexpr std::uint16_t kElectronic = 11138;
inline constexpr std::uint16_t kTotalCounters = 11157;   // the archive totals
inline constexpr std::uint16_t kPeriodCounters = 11158;  // counters since the last fiscalization
inline constexpr std::uint16_t kPlace = 11187;           // of settlement
inline constexpr std::uint16_t kShiftCounters = 11194;   // carried by a shift closing
inline constexpr std::uint16_t kTaxIndex = 11199;
inline constexpr std::uint16_t kTotal = 11201;
inline constexpr std::uint16_t kDeposits = 12001;
inline constexpr std::uint16_t kDepositSum = 12002;
inline constexpr std::uint16_t kPayouts = 12003;
inline constexpr std::uint16_t kPayoutSum = 12004;
inline constexpr std::uint16_t kElectronicPaid = 11081;
inline constexpr std::uint16_t kItemTaxAmount = 11102;
inline constexpr std::uint16_t kProductCode = 11163;
inline constexpr std::uint16_t kSection = 11300;        // container: number, then name
inline constexpr std::uint16_t kSectionNumber = 11301;  // u8
inline constexpr std::uint16_t kSectionName = 11302;    // text
inline constexpr std::uint16_t kDiscountNumber = 11303; // u8, from the host
inline constexpr std::uint16_t kItemDiscount = 11304;   // variable integer, kopecks
inline constexpr std::uint16_t kMarkingCode = 12000;
inline constexpr std::uint16_t kUnit = 12108;
inline constexpr std::uint16_t kFiscalizationNumber = 12117;
// A tax rate: container kFirstTaxRate + slot (slots 0..4) of its kind, percentage and name.
inline constexpr std::uint16_t kTaxRateKind = 13102;
inline constexpr std::uint16_t kTaxRatePercentage = 13103;
inline constexpr std::uint16_t kTaxRateName = 13104;
inline constexpr std::uint16_t kFirstTaxRate = 13105;
inline constexpr std::uint16_t kFirstTaxSum = 13110;  // tax sums of tax indexes 1..5: 13110..13114

}  // namespace tag
