// A cash deposit's or payout's part of storing: its counter updates. The archive store supplies
// the file access, so the same steps run inside the store's transaction and over a copy of the
// counter blocks that the consistency checker rebuilds.
//
// A deposit adds to the deposit count and sum and to the drawer cash of the shift and period
// counters; a payout takes at most what the shift counters' drawer holds, then at most what the
// period counters' drawer holds, and the archive totals count the amount that is left.
#pragma once

#include "documents/cash_ctrl_document.h"
#include "storage/receipt_archive.h"

namespace cash_archive {

// False when a block could not be read or changed.
bool addToCounters(const CashCtrlDocument& cash, const receipt_archive::ReadArea& read,
                   const receipt_archive::ChangeArea& change);

}  // namespace cash_archive
