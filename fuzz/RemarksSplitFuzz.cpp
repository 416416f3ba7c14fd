// The Remarks split on arbitrary texts: the pieces, joined again with the separator, give back
// the text exactly; no piece holds a separator; an empty text has no pieces.

#include <cstdint>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "output/RecordWriters.h"

using mae::fuzz::FuzzInput;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const bool narrow = in.Byte() & 1;  // one byte per unit makes separators frequent
    const std::u16string remarks = in.Rest(narrow);

    const std::vector<std::u16string_view> pieces = mae::SplitRemarks(remarks);
    if (remarks.empty()) {
        MAE_FUZZ_CHECK(pieces.empty());
        return 0;
    }
    size_t separators = 0;
    for (char16_t unit : remarks) separators += unit == mae::RemarksSeparator;
    MAE_FUZZ_CHECK(pieces.size() == separators + 1);

    std::u16string joined;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const std::u16string_view piece = pieces[i];
        MAE_FUZZ_CHECK(piece.find(mae::RemarksSeparator) == std::u16string_view::npos);
        // Every piece lies inside the text it was cut from.
        MAE_FUZZ_CHECK(piece.data() >= remarks.data() &&
                       piece.data() + piece.size() <= remarks.data() + remarks.size());
        if (i > 0) joined += mae::RemarksSeparator;
        joined += piece;
    }
    MAE_FUZZ_CHECK(joined == remarks);
    return 0;
}
