#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/RuntimeError.h"

namespace mae::test {

// A fresh folder under the system temp folder, removed with everything in it at destruction.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const noexcept { return m_path; }
    std::string file(std::string_view name) const { return m_path + "/" + std::string(name); }

  private:
    std::string m_path;
};

// Sets an environment variable for its lifetime, then puts back what was there (or unsets it).
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string m_name;
    bool m_had = false;
    std::string m_old;
};

// Runs SQL (several statements allowed) on a SQLite file through the SQLite C library,
// creating the file when missing. Fails the test (throws) on error.
void ExecSql(const std::string& dbPath, const std::string& sql);
// "Driver=SQLite3;Database=<path>" as UTF-16.
std::u16string SqliteConnectionString(const std::string& dbPath);
// The first column of every row of sql as the driver's own UTF-16 (SQL_C_WCHAR), read through
// ODBC without the db layer; nullopt for Null.
std::vector<std::optional<std::u16string>> DriverUtf16(const std::u16string& connectionString,
                                                       const std::string& sql);
// Upper-case hexadecimal digits of bytes, for SQL's x'...'.
inline std::string Hex(std::string_view bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}
// Whole file as bytes ("" when missing).
std::string ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);
void WriteFileBytes(const std::string& path, std::string_view bytes);
// The number of the RuntimeError call throws (its description into *description when given);
// 0 when call returns.
inline int ErrorNumber(const std::function<void()>& call, std::string* description = nullptr) {
    try {
        call();
    } catch (const RuntimeError& e) {
        if (description) *description = e.description();
        return e.number();
    }
    return 0;
}

// One line of extract.log, CR LF included.
inline std::string LogLine(int code, std::string_view field, std::string_view id) {
    return "non-ascii character code: " + std::to_string(code) + " found in " + std::string(field) +
           " of record id = " + std::string(id) + "\r\n";
}

// The 1-based, inclusive column slice of a record line, as the layout tables count columns.
inline std::string cols(const std::string& line, int from, int to) {
    if (from < 1 || to < from || static_cast<size_t>(from) > line.size()) return {};
    return line.substr(static_cast<size_t>(from - 1), static_cast<size_t>(to - from + 1));
}

}  // namespace mae::test
