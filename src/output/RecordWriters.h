#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/Row.h"
#include "db/Value.h"
#include "layout/ItemLayout.h"

namespace mae {

class ByteSink;

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

// Where the columns a layout reads are in the rows its records are written from: each entry's
// column, MedrefID and Remarks, found by name (letter case ignored) once for the columns of a
// statement, and again only when rows of other columns come. One writer's: not shared between
// threads.
class LayoutColumns {
  public:
    explicit LayoutColumns(const Layout& layout) : m_layout(layout) {}

    const Layout& layout() const noexcept { return m_layout; }
    // Makes the positions those of row's columns, finding them unless they are the last found.
    void Bind(const Row& row);
    // Values of a row of the bound columns: that of the layout's entry-th entry, MedrefID,
    // Remarks. Error 3265 naming the column when the rows have none of that name.
    const Value& Entry(const Row& row, size_t entry) const;
    const Value& MedrefId(const Row& row) const;
    const Value& Remarks(const Row& row) const;

  private:
    const Layout& m_layout;
    std::shared_ptr<const ColumnSet> m_columns;  // held: the positions are those of these columns
    bool m_bound = false;
    std::vector<int> m_entries;  // a position per entry; -1 for none
    int m_medrefId = -1;
    int m_remarks = -1;
};

// One line of the consolidated file from a case row.
void WriteConsolidatedRecord(ByteSink& out, const Row& caseRow, LayoutColumns& columns,
                             const WriterSettings& settings);
// One line of the abstract file from an abstract row; text items come from the row's Remarks,
// scrubbed as ScanTextMode asks, replacements logged to log.
void WriteAbstractRecord(ByteSink& out, const Row& abstractRow, LayoutColumns& columns,
                         const WriterSettings& settings, ByteSink& log);

}  // namespace mae
