// Connection strings of arbitrary text: each is left alone, rewritten or refused with one of the
// two connection-string errors; a rewritten one reads back without fault and names no provider;
// blotting out its passwords never fails. The same text as a name from the control database: a
// name that passes holds nothing a statement could be steered with, one that fails is error 5.

#include <cstdint>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "common/RuntimeError.h"
#include "common/Text.h"
#include "db/ConnectionString.h"
#include "db/Providers.h"
#include "db/Secrets.h"
#include "layout/Identifier.h"
#include "layout/ItemLayout.h"

using mae::fuzz::FuzzInput;

namespace {

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
    MAE_FUZZ_CHECK(!sent.empty() && sent.back() != u' ');
    static constexpr std::u16string_view never = u";,()'`=<>+-*/%|&!?@:\\{}^~\t\r\n";
    char16_t close = 0;  // inside [...] or "..." until this
    for (char16_t c : sent) {
        MAE_FUZZ_CHECK(c >= 0x20 && c != 0x7F && never.find(c) == npos);
        MAE_FUZZ_CHECK(c < 0xD800 || c > 0xDFFF);
        if (close) {
            if (c == close) close = 0;
            MAE_FUZZ_CHECK(c != u'[' && c != u'.' && (c != u'"' || close == 0));
        } else if (c == u'[' || c == u'"') {
            close = c == u'[' ? u']' : u'"';
        } else {
            MAE_FUZZ_CHECK(c != u' ' && c != u']');
        }
    }
    MAE_FUZZ_CHECK(close == 0);
    mae::ItemLayout entry;
    entry.FieldName = std::u16string(sent);
    const std::u16string_view column = entry.ColumnName();
    MAE_FUZZ_CHECK(!column.empty());
    MAE_FUZZ_CHECK(column.find_first_of(u"[]\".") == npos);
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
