// The ini reader on arbitrary file contents: every read ends with a value that fits its buffer,
// holds no line break or NUL, and a smaller buffer gives a prefix of what a larger one gives.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "FuzzInput.h"
#include "app/startup/ProfileReader.h"

namespace {

// One file per fuzzing process, rewritten for every input and removed when the process ends.
char g_iniPath[] = "/tmp/mae-fuzz-ini-XXXXXX";

const char* IniPath() {
    static const bool made = [] {
        const int fd = mkstemp(g_iniPath);
        if (fd < 0) std::abort();
        close(fd);
        std::atexit([] { unlink(g_iniPath); });
        return true;
    }();
    (void)made;
    return g_iniPath;
}

struct Read {
    const char16_t* section;
    const char16_t* key;
    const char16_t* defaultValue;
};

// The reads start-up makes, and a few that the hand-made inputs use.
constexpr Read Reads[] = {
    {u"Databases", u"Control", u"Not Available"},
    {u"Databases", u"Registry", u""},
    {u"Options", u"ScanText", u"TEXT"},
    {u"S", u"k", u"default"},
    {u"", u"", u"empty names"},
};

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* file = std::fopen(IniPath(), "wb");
    if (!file) std::abort();
    if (size && std::fwrite(data, 1, size, file) != size) std::abort();
    std::fclose(file);

    for (const Read& read : Reads) {
        const std::u16string whole =
            mae::ReadProfileStringAt(IniPath(), read.section, read.key, read.defaultValue, 1 << 20);
        MAE_FUZZ_CHECK(whole.find(u'\n') == std::u16string::npos);
        MAE_FUZZ_CHECK(whole.find(u'\0') == std::u16string::npos);
        // The buffer of start-up, and a small one that the input chooses (0 to 7).
        for (size_t bufferSize : {size_t{250}, size % 8}) {
            const std::u16string value = mae::ReadProfileStringAt(IniPath(), read.section, read.key,
                                                                  read.defaultValue, bufferSize);
            // At most bufferSize - 1 units, a prefix of the whole value, and one unit shorter
            // than that only where the cut would split a surrogate pair.
            if (bufferSize == 0) {
                MAE_FUZZ_CHECK(value.empty());
                continue;
            }
            MAE_FUZZ_CHECK(whole.compare(0, value.size(), value) == 0);
            const size_t room = bufferSize - 1;
            if (whole.size() > room) {
                const bool splitsPair = room > 0 && IsHighSurrogate(whole[room - 1]);
                MAE_FUZZ_CHECK(value.size() == (splitsPair ? room - 1 : room));
            } else {
                MAE_FUZZ_CHECK(value == whole);
            }
        }
    }
    return 0;
}
