#include "output/RecordWriters.h"

#include <string>
#include <string_view>
#include <vector>

#include "common/RuntimeError.h"
#include "common/Simd.h"
#include "common/Text.h"
#include "db/Recordset.h"
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

void WriteConsolidatedRecord(ByteSink& out, const Recordset& caseRow, const Layout& layout,
                             const WriterSettings& settings) {
    RecordBuffer record;
    std::u16string owned;
    for (const ItemLayout& entry : layout) {
        // Consolidated text entries are read from the case row like any other column.
        if (entry.FieldName.empty()) continue;
        std::u16string_view value = TextOf(caseRow.Field(entry.ColumnName()), owned);
        if (entry.IsItem20()) {
            std::u16string padded(value);
            PadLeft(padded, entry.FieldLength, Item20Pad);
            owned = std::move(padded);
            value = owned;
        }
        PlaceEntry(record, entry, value, settings);
    }
    StampFixedFields(record, settings.NaaccrVersion, DirectText(caseRow.Field(u"MedrefID")));
    PrintRecord(out, record);
}

void WriteAbstractRecord(ByteSink& out, const Recordset& abstractRow, const Layout& layout,
                         const WriterSettings& settings, ByteSink& log) {
    RecordBuffer record;
    // A Null or short Remarks leaves the text entries without a piece of their own empty.
    std::u16string remarksOwned;
    const std::u16string_view remarks = TextOf(abstractRow.Field(u"Remarks"), remarksOwned);
    const std::vector<std::u16string_view> pieces = SplitRemarks(remarks);
    const bool scanText = settings.ScanTextMode == u"TEXT";
    const bool scanAll = settings.ScanTextMode == u"ALL";
    // The record id of the log is read afresh for each scrubbed value, as the row gives it.
    std::u16string scrubbed;
    auto scrub = [&](std::u16string_view value, const ItemLayout& entry) {
        return ScrubNonAscii(value, entry.FieldName, ToInt32(abstractRow.Field(u"MedrefID")), log,
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
    for (const ItemLayout& entry : layout) {
        if (HasNoColumn(entry)) continue;
        if (!entry.IsTextEntry()) {
            const Value& value = abstractRow.Field(entry.ColumnName());
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
    StampFixedFields(record, settings.NaaccrVersion, DirectText(abstractRow.Field(u"MedrefID")));
    PrintRecord(out, record);
}

}  // namespace mae
