#include "app/startup/ProfileReader.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>

#include "common/Text.h"
#include "common/Windows1252.h"

namespace mae {

namespace {

namespace fs = std::filesystem;

// The file itself when it exists under that name; otherwise an entry of the folder whose name
// differs only in letter case (the host writes the name as it likes and Windows does not care).
// Among several such entries the first in byte order wins, so the choice does not depend on
// the order the folder lists them in.
fs::path LocateFile(const fs::path& path) {
    std::error_code ec;
    if (fs::exists(fs::symlink_status(path, ec)) || path.filename().empty()) return path;
    const std::string wanted = path.filename().string();
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    std::optional<std::string> best;
    fs::directory_iterator it(folder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (EqualsIgnoreCase(std::string_view(name), wanted) && (!best || name < *best))
            best = std::move(name);
    }
    return best ? folder / *best : path;
}

// The whole file, or nothing when it is missing, not a regular file (a folder, a pipe, a
// device) or cannot be read.
std::optional<std::string> ReadWholeFile(const fs::path& path) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) return std::nullopt;
    return bytes;
}

std::u16string DecodeUtf16(std::string_view bytes, bool bigEndian) {
    std::u16string out(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < out.size(); ++i) {
        const auto first = static_cast<unsigned char>(bytes[2 * i]);
        const auto second = static_cast<unsigned char>(bytes[2 * i + 1]);
        out[i] = bigEndian ? static_cast<char16_t>((first << 8) | second)
                           : static_cast<char16_t>((second << 8) | first);
    }
    return out;
}

// A byte-order mark chooses UTF-8 or UTF-16 (as Notepad saves "Unicode" files); without one the
// file is in the ANSI code page, Windows-1252.
std::u16string DecodeIniText(std::string_view bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF")) return FromUtf8(bytes.substr(3));
    if (bytes.starts_with("\xFF\xFE")) return DecodeUtf16(bytes.substr(2), false);
    if (bytes.starts_with("\xFE\xFF")) return DecodeUtf16(bytes.substr(2), true);
    return DecodeWindows1252(bytes);
}

// The value of the first line "key=value" under the first header "[section]", or nothing: a
// later section of the same name is not read (nor is it by the Windows profile routine).
std::optional<std::u16string> FindValue(std::u16string_view text, std::u16string_view section,
                                        std::u16string_view key) {
    bool inSection = false;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find(u'\n', pos);
        if (end == std::u16string_view::npos) end = text.size();
        std::u16string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
        line = Trim(line);
        if (line.empty() || line.front() == u';') continue;
        if (line.front() == u'[') {
            const size_t close = line.rfind(u']');
            if (close != std::u16string_view::npos) {
                if (inSection) return std::nullopt;  // the end of the first such section
                inSection = EqualsIgnoreCase(Trim(line.substr(1, close - 1)), section);
                continue;
            }
        }
        if (!inSection) continue;
        const size_t equals = line.find(u'=');
        if (equals == std::u16string_view::npos) continue;
        if (!EqualsIgnoreCase(Trim(line.substr(0, equals)), key)) continue;
        std::u16string_view value = Trim(line.substr(equals + 1));
        if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
            value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
        // The caller gets a NUL-terminated buffer: a NUL in the file ends the value there.
        return std::u16string(value.substr(0, value.find(u'\0')));
    }
    return std::nullopt;
}

// At most bufferSize - 1 units, the last place being the terminator. A cut through a surrogate
// pair drops its first half rather than leave half a character.
std::u16string FitBuffer(std::u16string_view text, size_t bufferSize) {
    if (bufferSize == 0) return {};
    if (text.size() > bufferSize - 1) {
        text = text.substr(0, bufferSize - 1);
        if (!text.empty() && text.back() >= 0xD800 && text.back() <= 0xDBFF) text.remove_suffix(1);
    }
    return std::u16string(text);
}

}  // namespace

std::string WindowsFolder() {
    const char* folder = std::getenv("WINDIR");
    return folder && *folder ? std::string(folder) : std::string("/etc");
}

std::string ProfileFileUnreadable(std::string_view fileName) {
    const fs::path path = LocateFile(fs::path(WindowsFolder()) / fs::path(fileName));
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec) {
        const bool missing =
            ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory;
        return missing ? std::string() : ec.message();
    }
    if (!fs::is_regular_file(status)) return {};
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return std::strerror(errno ? errno : EACCES);
    std::fclose(file);
    return {};
}

std::u16string ReadProfileString(std::u16string_view section, std::u16string_view key,
                                 std::u16string_view defaultValue, size_t bufferSize,
                                 std::string_view fileName) {
    const std::string path = (fs::path(WindowsFolder()) / fs::path(fileName)).string();
    return ReadProfileStringAt(path, section, key, defaultValue, bufferSize);
}

std::u16string ReadProfileStringAt(const std::string& path, std::u16string_view section,
                                   std::u16string_view key, std::u16string_view defaultValue,
                                   size_t bufferSize) {
    const std::optional<std::string> bytes = ReadWholeFile(LocateFile(fs::path(path)));
    if (!bytes) return FitBuffer(defaultValue, bufferSize);
    const std::optional<std::u16string> value = FindValue(DecodeIniText(*bytes), section, key);
    return FitBuffer(value ? std::u16string_view(*value) : defaultValue, bufferSize);
}

}  // namespace mae
