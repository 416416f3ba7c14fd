// mae-generate: writes a synthetic registry, its control database and the Meridane.ini that
// points at both into one folder, and prints what an extraction of it must produce.

#include <charconv>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>

#include "generator/RegistryGenerator.h"

namespace {

void Usage() {
    std::fprintf(
        stderr,
        "usage: mae-generate --out DIR [--cases N] [--seed S] [--full-text] [--beyond-1252]\n"
        "                    [--abstracts-per-case X] [--selected-share F]\n"
        "writes DIR/registry.db, DIR/control.db and DIR/Meridane.ini\n");
}

template <typename T>
bool ParseValue(std::string_view text, T& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

}  // namespace

int main(int argc, char** argv) {
    mae::gen::RegistryOptions options;
    std::string out;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        bool hasValue = i + 1 < argc;
        std::string_view value = hasValue ? argv[i + 1] : "";
        bool ok = true;
        if (arg == "--full-text") {
            options.fullText = true;
            continue;
        } else if (arg == "--beyond-1252") {
            options.beyondWindows1252 = true;
            continue;
        } else if (arg == "--help" || arg == "-h") {
            Usage();
            return 0;
        } else if (!hasValue) {
            ok = false;
        } else if (arg == "--out") {
            out = value;
        } else if (arg == "--cases") {
            ok = ParseValue(value, options.cases) && options.cases >= 0;
        } else if (arg == "--seed") {
            ok = ParseValue(value, options.seed);
        } else if (arg == "--abstracts-per-case") {
            ok = ParseValue(value, options.abstractsPerCase);
        } else if (arg == "--selected-share") {
            ok = ParseValue(value, options.selectedShare);
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "mae-generate: bad argument: %s%s%s\n", argv[i],
                         hasValue ? " " : "", hasValue ? argv[i + 1] : "");
            Usage();
            return 2;
        }
        ++i;
    }
    if (out.empty()) {
        Usage();
        return 2;
    }

    try {
        std::filesystem::create_directories(out);
        std::string registry = (std::filesystem::path(out) / "registry.db").string();
        std::string control = (std::filesystem::path(out) / "control.db").string();
        mae::gen::RegistrySummary s = mae::gen::WriteRegistryDatabase(registry, options);
        mae::gen::WriteControlDatabase(control);
        mae::gen::WriteIni(out, control, registry);

        std::printf("registry        %s\ncontrol         %s\nini             %s\n",
                    registry.c_str(), control.c_str(),
                    (std::filesystem::path(out) / "Meridane.ini").c_str());
        std::printf("cases           %d\n", s.casesTotal);
        std::printf("selected        %d  (by group:", s.casesSelected);
        for (int n : s.selectedPerGroup) std::printf(" %d", n);
        std::printf(")\n");
        std::printf("death cert only %d\n", s.casesDeathCertOnly);
        std::printf("non-releasable  %d\n", s.casesNonReleasable);
        std::printf("abstracts       %d  (%d with non-ASCII text)\n", s.abstractsTotal,
                    s.abstractsWithNonAscii);
        std::printf("extract, rerelease unchecked: %d consolidated, %d abstract records\n",
                    s.casesKept, s.abstractsOfKeptCases);
        std::printf("extract, rerelease checked:   %d consolidated, %d abstract records\n",
                    s.casesKeptReleasable, s.abstractsOfKeptReleasableCases);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mae-generate: %s\n", e.what());
        return 1;
    }
    return 0;
}
