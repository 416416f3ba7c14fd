// Connection strings of arbitrary text: each is left alone, rewritten or refused with one of the
// two connection-string errors; a rewritten one reads back without fault and names no provider;
// blotting out its passwords never fails. The same text as a name from the control database: a
// name that passes holds nothing a statement could be steered with, one that fails is error 5.

#include <cstdint>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "common/AnsiCodePage.h"
#include "common/RuntimeError.h"
#include "common/Text.h"
#include "db/ConnectionString.h"
#include "db/Providers.h"
#include "db/Secrets.h"
#include "layout/Identifier.h"
#include "layout/ItemLayout.h"

using mae::fuzz::FuzzInput;

namespace {

bool IsControl(char16_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// A unit above ASCII that the code page writes as ASCII: a letter, a digit, '_', '?' (none), or
// a blank inside a delimited part; never punctuation that a statement could be steered with.
void CheckImage(char16_t c, bool delimited) {
    if (c < 0x80) return;
    const unsigned char b = mae::ToAnsi(c);
    if (b >= 0x80) return;
    const bool alnum = (b >= '0' && b <= '9') || (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z');
    MAE_FUZZ_CHECK(alnum || b == '_' || b == '?' || (delimited && b == ' '));
}

void CheckName(const std::u16string& text) {
    constexpr size_t npos = std::u16string_view::npos;
    const size_t fault = mae::IdentifierFault(text);
    if (fault != npos) {
        MAE_FUZZ_CHECK(fault <= text.size());
        try {
            mae::CheckedIdentifier(text, "the name");
            MAE_FUZZ_CHECK(false);
        } catch (const mae::RuntimeError& e) {
            MAE_FUZZ_CHECK(e.number() == mae::err::InvalidCall);
        }
        return;
    }
    const std::u16string_view sent = mae::SentName(text);
    MAE_FUZZ_CHECK(mae::CheckedIdentifier(text, "the name") == sent);
    MAE_FUZZ_CHECK(!sent.empty() && !mae::IsBlankOrLineEnd(sent.front()) &&
                   !mae::IsBlankOrLineEnd(sent.back()));
    // Outside [...] and "...": name characters and the dots between parts only.
    static constexpr std::u16string_view never = u";,()'`=<>+-*/%|&!?:\\{}^~ []\"";
    static constexpr std::u16string_view neverInBrackets = u"'\"`;";
    char16_t close = 0;  // inside [...] or "..." until this
    bool partStart = true;
    for (size_t i = 0; i < sent.size(); ++i) {
        const char16_t c = sent[i];
        MAE_FUZZ_CHECK(!IsControl(c));
        if (c >= 0xD800 && c <= 0xDBFF) {
            MAE_FUZZ_CHECK(i + 1 < sent.size() && sent[i + 1] >= 0xDC00 && sent[i + 1] <= 0xDFFF);
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            MAE_FUZZ_CHECK(i > 0 && sent[i - 1] >= 0xD800 && sent[i - 1] <= 0xDBFF);
        }
        if (close) {
            CheckImage(c, true);
            if (c == close && i + 1 < sent.size() && sent[i + 1] == close) {
                ++i;  // the delimiter written twice
            } else if (c == close) {
                close = 0;
            } else if (close == u']') {
                MAE_FUZZ_CHECK(neverInBrackets.find(c) == npos);
            }
            continue;
        }
        if (partStart && (c == u'[' || c == u'"')) {
            close = c == u'[' ? u']' : u'"';
            partStart = false;
            continue;
        }
        CheckImage(c, false);
        if (c == u'.') {
            partStart = true;
            continue;
        }
        MAE_FUZZ_CHECK(never.find(c) == npos);
        // A plain part starts with a letter or '_': never a digit, '$', '#' or '@'.
        if (partStart)
            MAE_FUZZ_CHECK(!(c >= u'0' && c <= u'9') && c != u'$' && c != u'#' && c != u'@');
        partStart = false;
    }
    MAE_FUZZ_CHECK(close == 0 && !partStart);
    mae::ItemLayout entry;
    entry.FieldName = std::u16string(sent);
    MAE_FUZZ_CHECK(!entry.ColumnName().empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const uint8_t flags = in.Byte();
    const auto platform = flags & 1 ? mae::DriverPlatform::Windows : mae::DriverPlatform::Linux;
    // Every driver of every family, or none, so that both outcomes are reached.
    const mae::DriverList drivers = [flags] {
        if (flags & 2) return std::vector<std::u16string>{};
        return std::vector<std::u16string>{u"FreeTDS", u"SQL Server",
                                           u"Microsoft Access Driver (*.mdb)"};
    };
    const std::u16string text = in.Rest(!(flags & 4));

    try {
        const std::u16string odbc = mae::OdbcConnectionString(text, drivers, platform);
        if (odbc != text) {
            const auto pairs = mae::ParseConnectionString(odbc);
            for (const auto& p : pairs) MAE_FUZZ_CHECK(!mae::EqualsIgnoreCase(p.key, u"Provider"));
        }
    } catch (const mae::RuntimeError& e) {
        MAE_FUZZ_CHECK(e.number() == mae::err::ProviderNotFound ||
                       e.number() == mae::err::BadInitString);
    }
    const std::string blotted =
        mae::WithoutSecrets(mae::ToUtf8(text), mae::ConnectionStringSecrets(text));
    MAE_FUZZ_CHECK(blotted.size() <= mae::ToUtf8(text).size() + 3 * text.size());
    CheckName(text);
    return 0;
}
