#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "layout/ItemLayout.h"

namespace mae {

class ByteSink;
class Recordset;

// What the writers read besides the row: set at start-up, unchanged afterwards.
struct WriterSettings {
    std::u16string NaaccrVersion;
    std::u16string ScanTextMode;
    std::u16string LayoutTable;  // the control table the layouts came from, for messages
};

// The text items of an abstract, one after another in Remarks, each ended by this character
// except the last.
inline constexpr char16_t RemarksSeparator = u'\x02';
// Remarks split at every RemarksSeparator, in order, empty pieces kept; an empty Remarks holds
// no pieces at all. The pieces point into remarks.
std::vector<std::u16string_view> SplitRemarks(std::u16string_view remarks);

// One line of the consolidated file from the current row of the case recordset.
void WriteConsolidatedRecord(ByteSink& out, const Recordset& caseRow, const Layout& layout,
                             const WriterSettings& settings);
// One line of the abstract file from the current row of the abstract recordset; text items come
// from the row's Remarks, scrubbed as ScanTextMode asks, replacements logged to log.
void WriteAbstractRecord(ByteSink& out, const Recordset& abstractRow, const Layout& layout,
                         const WriterSettings& settings, ByteSink& log);

}  // namespace mae
