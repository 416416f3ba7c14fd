// Connection strings of arbitrary text: each is left alone, rewritten or refused with one of the
// two connection-string errors; a rewritten one reads back without fault and names no provider;
// blotting out its passwords never fails.

#include <cstdint>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "common/RuntimeError.h"
#include "common/Text.h"
#include "db/ConnectionString.h"

using mae::fuzz::FuzzInput;

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
    return 0;
}
