#include "output/RecordWriters.h"

#include <string>
#include <string_view>
#include <vector>

#include "db/Recordset.h"
#include "db/Value.h"
#include "output/RecordBuffer.h"
#include "output/ScrubNonAscii.h"

namespace mae {

namespace {

constexpr std::u16string_view Item20Pad = u"0";

// An entry whose item had no row in the control table names no column: nothing to fetch.
bool HasNoColumn(const ItemLayout& entry) {
    return !entry.IsTextEntry() && entry.FieldName.empty();
}

}  // namespace

std::vector<std::u16string_view> SplitRemarks(std::u16string_view remarks) {
    std::vector<std::u16string_view> pieces;
    if (remarks.empty()) return pieces;
    size_t from = 0;
    for (;;) {
        const size_t at = remarks.find(RemarksSeparator, from);
        if (at == std::u16string_view::npos) {
            pieces.push_back(remarks.substr(from));
            return pieces;
        }
        pieces.push_back(remarks.substr(from, at - from));
        from = at + 1;
    }
}

void WriteConsolidatedRecord(ByteSink& out, const Recordset& caseRow, const Layout& layout,
                             const WriterSettings& settings) {
    RecordBuffer record;
    for (const ItemLayout& entry : layout) {
        // Consolidated text entries are read from the case row like any other column.
        if (entry.FieldName.empty()) continue;
        std::u16string value = ConcatText(caseRow.Field(entry.FieldName));
        if (entry.IsItem20()) PadLeft(value, entry.FieldLength, Item20Pad);
        PlaceField(record, entry.ColumnStart, entry.FieldLength, value);
    }
    StampFixedFields(record, settings.NaaccrVersion, DirectText(caseRow.Field(u"MedrefID")));
    PrintRecord(out, record);
}

void WriteAbstractRecord(ByteSink& out, const Recordset& abstractRow, const Layout& layout,
                         const WriterSettings& settings, ByteSink& log) {
    RecordBuffer record;
    // A Null or short Remarks leaves the text entries without a piece of their own empty.
    const std::u16string remarks = ConcatText(abstractRow.Field(u"Remarks"));
    const std::vector<std::u16string_view> pieces = SplitRemarks(remarks);
    const bool scanText = settings.ScanTextMode == u"TEXT";
    const bool scanAll = settings.ScanTextMode == u"ALL";
    // The record id of the log is read afresh for each scrubbed value, as the row gives it.
    auto scrub = [&](const std::u16string& value, const ItemLayout& entry) {
        return ScrubNonAscii(value, entry.FieldName, ToInt32(abstractRow.Field(u"MedrefID")), log);
    };

    // The working value carries over from entry to entry; each step below may overwrite it.
    std::u16string working;
    size_t pieceCounter = 0;  // the n-th text entry of the layout takes piece n
    for (const ItemLayout& entry : layout) {
        if (HasNoColumn(entry)) continue;
        if (!entry.IsTextEntry()) working = ConcatText(abstractRow.Field(entry.FieldName));
        // Padding comes before a text entry takes its piece, so a text piece is never padded.
        if (entry.IsItem20()) PadLeft(working, entry.FieldLength, Item20Pad);
        if (entry.IsTextEntry()) {
            working = pieceCounter < pieces.size() ? std::u16string(pieces[pieceCounter])
                                                   : std::u16string();
            if (scanText) working = scrub(working, entry);
            ++pieceCounter;
        }
        if (scanAll) working = scrub(working, entry);
        PlaceField(record, entry.ColumnStart, entry.FieldLength, working);
    }
    StampFixedFields(record, settings.NaaccrVersion, DirectText(abstractRow.Field(u"MedrefID")));
    PrintRecord(out, record);
}

}  // namespace mae
