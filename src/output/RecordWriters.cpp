#include "output/RecordWriters.h"

#include <string>
#include <string_view>
#include <vector>

#include "common/RuntimeError.h"
#include "common/Simd.h"
#include "common/Text.h"
#include "db/Row.h"
#include "db/Value.h"
#include "output/RecordBuffer.h"
#include "output/ScrubNonAscii.h"

namespace mae {

namespace {

constexpr std::u16string_view Item20Pad = u"0";

// Position of the next separator at or after from, or npos. Remarks run to thousands of units
// per abstract: eight units are compared at once.
size_t FindSeparator(std::u16string_view text, size_t from) {
    const char16_t* data = text.data();
    const size_t n = text.size();
    size_t i = from;
    for (; i + 8 <= n; i += 8) {
        // Most blocks hold none: the loop stays straight for them.
        if (const size_t at = simd::Find8(data + i, RemarksSeparator); at < 8) [[unlikely]]
            return i + at;
    }
    for (; i < n; ++i) {
        if (data[i] == RemarksSeparator) return i;
    }
    return std::u16string_view::npos;
}

// An entry whose item had no row in the control table names no column: nothing to fetch.
bool HasNoColumn(const ItemLayout& entry) {
    return !entry.IsTextEntry() && entry.FieldName.empty();
}

// The row's value at position. A column the rows do not have is error 3265 naming it, raised
// when its value is asked for, as the record reaches it.
const Value& ValueAt(const Row& row, int position, std::u16string_view name) {
    if (position < 0 || static_cast<size_t>(position) >= row.values.size()) ThrowNoColumn(name);
    return row.values[static_cast<size_t>(position)];
}

// Places an entry's value. A start column or length the placement refuses came from the layout
// table: the error names the item and the table, so the row to mend can be found.
void PlaceEntry(RecordBuffer& record, const ItemLayout& entry, std::u16string_view value,
                const WriterSettings& settings) {
    try {
        PlaceField(record, entry.ColumnStart, entry.FieldLength, value);
    } catch (const RuntimeError& e) {
        const char* column = entry.ColumnStart < 1 ? "ColumnStart" : "FieldLength";
        throw RuntimeError(e.number(), e.description() + " (column " + column + " of item " +
                                           ToUtf8(entry.ItemNumber) + " in layout table " +
                                           ToUtf8(settings.LayoutTable) + ")");
    }
}

}  // namespace

std::vector<std::u16string_view> SplitRemarks(std::u16string_view remarks) {
    std::vector<std::u16string_view> pieces;
    if (remarks.empty()) return pieces;
    size_t from = 0;
    for (;;) {
        const size_t at = FindSeparator(remarks, from);
        if (at == std::u16string_view::npos) {
            pieces.push_back(remarks.substr(from));
            return pieces;
        }
        pieces.push_back(remarks.substr(from, at - from));
        from = at + 1;
    }
}

// The text of a value without copying when the row holds it as text; other values are turned
// into text in owned.
std::u16string_view TextOf(const Value& value, std::u16string& owned) {
    if (value.kind() == Value::Kind::Text) return value.text();
    owned = ConcatText(value);
    return owned;
}

void LayoutColumns::Bind(const Row& row) {
    if (m_bound && row.columns == m_columns && m_entries.size() == m_layout.size()) return;
    static const ColumnSet none;
    const ColumnSet& columns = row.columns ? *row.columns : none;
    m_entries.resize(m_layout.size());
    for (size_t i = 0; i < m_layout.size(); ++i) {
        const ItemLayout& entry = m_layout[i];
        m_entries[i] = entry.FieldName.empty() ? -1 : columns.Find(entry.ColumnName());
    }
    m_medrefId = columns.Find(u"MedrefID");
    m_remarks = columns.Find(u"Remarks");
    m_columns = row.columns;
    m_bound = true;
}

const Value& LayoutColumns::Entry(const Row& row, size_t entry) const {
    const int position = m_entries.at(entry);
    if (position < 0 || static_cast<size_t>(position) >= row.values.size()) {
        ThrowNoColumn(m_layout[entry].ColumnName());
    }
    return row.values[static_cast<size_t>(position)];
}

const Value& LayoutColumns::MedrefId(const Row& row) const {
    return ValueAt(row, m_medrefId, u"MedrefID");
}

const Value& LayoutColumns::Remarks(const Row& row) const {
    return ValueAt(row, m_remarks, u"Remarks");
}

void WriteConsolidatedRecord(ByteSink& out, const Row& caseRow, LayoutColumns& columns,
                             const WriterSettings& settings) {
    columns.Bind(caseRow);
    const Layout& layout = columns.layout();
    RecordBuffer record;
    std::u16string owned;
    for (size_t i = 0; i < layout.size(); ++i) {
        const ItemLayout& entry = layout[i];
        // Consolidated text entries are read from the case row like any other column.
        if (entry.FieldName.empty()) continue;
        std::u16string_view value = TextOf(columns.Entry(caseRow, i), owned);
        if (entry.IsItem20()) {
            std::u16string padded(value);
            PadLeft(padded, entry.FieldLength, Item20Pad);
            owned = std::move(padded);
            value = owned;
        }
        PlaceEntry(record, entry, value, settings);
    }
    StampFixedFields(record, settings.NaaccrVersion, DirectText(columns.MedrefId(caseRow)));
    PrintRecord(out, record);
}

void WriteAbstractRecord(ByteSink& out, const Row& abstractRow, LayoutColumns& columns,
                         const WriterSettings& settings, ByteSink& log) {
    columns.Bind(abstractRow);
    const Layout& layout = columns.layout();
    RecordBuffer record;
    // A Null or short Remarks leaves the text entries without a piece of their own empty.
    std::u16string remarksOwned;
    const std::u16string_view remarks = TextOf(columns.Remarks(abstractRow), remarksOwned);
    const std::vector<std::u16string_view> pieces = SplitRemarks(remarks);
    const bool scanText = settings.ScanTextMode == u"TEXT";
    const bool scanAll = settings.ScanTextMode == u"ALL";
    // The record id of the log is read afresh for each scrubbed value, as the row gives it.
    std::u16string scrubbed;
    auto scrub = [&](std::u16string_view value, const ItemLayout& entry) {
        return ScrubNonAscii(value, entry.FieldName, ToInt32(columns.MedrefId(abstractRow)), log,
                             scrubbed);
    };

    // The working value carries over from entry to entry; each step below may overwrite it. It
    // points into the row, a Remarks piece, `owned`, which holds values made here, or `scrubbed`.
    std::u16string owned;
    std::u16string_view working;
    auto own = [&](std::u16string&& value) {
        owned = std::move(value);
        working = owned;
    };
    size_t pieceCounter = 0;  // the n-th text entry of the layout takes piece n
    for (size_t i = 0; i < layout.size(); ++i) {
        const ItemLayout& entry = layout[i];
        if (HasNoColumn(entry)) continue;
        if (!entry.IsTextEntry()) {
            const Value& value = columns.Entry(abstractRow, i);
            if (value.kind() == Value::Kind::Text) {
                working = value.text();
            } else {
                own(ConcatText(value));
            }
        }
        // Padding comes before a text entry takes its piece, so a text piece is never padded.
        if (entry.IsItem20()) {
            std::u16string padded(working);
            PadLeft(padded, entry.FieldLength, Item20Pad);
            own(std::move(padded));
        }
        if (entry.IsTextEntry()) {
            working = pieceCounter < pieces.size() ? pieces[pieceCounter] : std::u16string_view();
            if (scanText) working = scrub(working, entry);
            ++pieceCounter;
        }
        if (scanAll) working = scrub(working, entry);
        PlaceEntry(record, entry, working, settings);
    }
    StampFixedFields(record, settings.NaaccrVersion, DirectText(columns.MedrefId(abstractRow)));
    PrintRecord(out, record);
}

}  // namespace mae
