// The test support of support/TestDb.h on Windows. Test databases are made through the same
// ODBC driver the program reads them with (the SQLite C library is not there to link), and
// under Wine that driver is the host's: it gets the host's path of the file.
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/Text.h"
#include "db/SqlApi.h"
#include "support/TestDb.h"

namespace mae::test {

namespace {

std::wstring Wide(const std::string& utf8) {
    const std::u16string text = FromUtf8(utf8);
    return std::wstring(text.begin(), text.end());
}

std::string Utf8(const std::wstring& wide) {
    return ToUtf8(std::u16string(wide.begin(), wide.end()));
}

// Under Wine, the host's path of a Windows path (Wine's kernel32 exports the conversion);
// on Windows itself, the path as it is.
std::string DriverPath(const std::string& path) {
    // Wine exports it cdecl, not WINAPI (which differ on 32-bit Windows).
    using ToUnix = char*(__cdecl*)(const wchar_t*);
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "wine_get_unix_file_name")));
    if (!toUnix) return path;
    char* unix = toUnix(Wide(path).c_str());
    if (!unix) throw std::runtime_error("no host path for " + path);
    std::string result = unix;
    HeapFree(GetProcessHeap(), 0, unix);
    return result;
}

// Splits a script at the semicolons that end its statements (the driver takes one at a time),
// leaving those inside quotes, brackets and comments. A character beyond U+FFFF inside a quoted
// text becomes char(N): the driver does not carry UTF-16 surrogate pairs in a statement's text.
std::vector<std::string> Statements(const std::string& sql) {
    std::vector<std::string> out;
    std::string current;
    char quote = 0;
    for (size_t i = 0; i < sql.size(); ++i) {
        const char c = sql[i];
        if (quote) {
            const auto lead = static_cast<unsigned char>(c);
            if (quote == '\'' && lead >= 0xF0 && i + 3 < sql.size()) {
                const char32_t code =
                    (char32_t{lead & 0x07u} << 18) |
                    (char32_t{static_cast<unsigned char>(sql[i + 1]) & 0x3Fu} << 12) |
                    (char32_t{static_cast<unsigned char>(sql[i + 2]) & 0x3Fu} << 6) |
                    char32_t{static_cast<unsigned char>(sql[i + 3]) & 0x3Fu};
                current += "' || char(" + std::to_string(code) + ") || '";
                i += 3;
                continue;
            }
            current += c;
            if (c == quote) quote = 0;
            continue;
        }
        if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
            while (i < sql.size() && sql[i] != '\n') ++i;
            continue;
        }
        if (c == '\'' || c == '"') quote = c;
        if (c == '[') quote = ']';
        if (c == ';') {
            if (current.find_first_not_of(" \t\r\n") != std::string::npos) out.push_back(current);
            current.clear();
            continue;
        }
        current += c;
    }
    if (current.find_first_not_of(" \t\r\n") != std::string::npos) out.push_back(current);
    return out;
}

std::string Diagnostic(SQLSMALLINT type, SQLHANDLE handle) {
    SQLWCHAR state[6] = {};
    SQLWCHAR text[1024] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLGetDiagRecW(type, handle, 1, state, &native, text, 1024, &length)))
        return "(no diagnostic)";
    return Utf8(reinterpret_cast<wchar_t*>(state)) + " " + Utf8(reinterpret_cast<wchar_t*>(text));
}

}  // namespace

TempDir::TempDir() {
    wchar_t base[MAX_PATH + 1] = {};
    if (!GetTempPathW(MAX_PATH + 1, base)) throw std::runtime_error("no temporary folder");
    for (unsigned attempt = 0; attempt < 1000; ++attempt) {
        const std::wstring candidate = std::wstring(base) + L"mae-test-" +
                                       std::to_wstring(GetCurrentProcessId()) + L"-" +
                                       std::to_wstring(GetTickCount64() + attempt);
        if (CreateDirectoryW(candidate.c_str(), nullptr)) {
            m_path = Utf8(candidate);
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(std::filesystem::path(Wide(m_path)), ec);
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : m_name(name) {
    if (const char* old = std::getenv(name)) {
        m_had = true;
        m_old = old;
    }
    _putenv_s(name, value.c_str());
}

ScopedEnv::~ScopedEnv() { _putenv_s(m_name.c_str(), m_had ? m_old.c_str() : ""); }

void ExecSql(const std::string& dbPath, const std::string& sql) {
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    std::u16string connection = SqliteConnectionString(dbPath);
    std::string failure;
    if (!SQL_SUCCEEDED(SQLDriverConnectW(dbc, nullptr,
                                         reinterpret_cast<SQLWCHAR*>(connection.data()), SQL_NTS,
                                         nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT))) {
        failure = "connect " + dbPath + ": " + Diagnostic(SQL_HANDLE_DBC, dbc);
    } else {
        for (const std::string& statement : Statements(sql)) {
            SQLHSTMT stmt = nullptr;
            SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
            std::u16string text = FromUtf8(statement);
            const SQLRETURN rc =
                SQLExecDirectW(stmt, reinterpret_cast<SQLWCHAR*>(text.data()), SQL_NTS);
            // A delete or update that meets no row answers "no data".
            if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
                failure = "exec: " + Diagnostic(SQL_HANDLE_STMT, stmt) + " in: " + statement;
            }
            SQLFreeHandle(SQL_HANDLE_STMT, stmt);
            if (!failure.empty()) break;
        }
        SQLDisconnect(dbc);
    }
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    if (!failure.empty()) throw std::runtime_error(failure);
}

std::u16string SqliteConnectionString(const std::string& dbPath) {
    return FromUtf8("Driver=SQLite3;Database=" + DriverPath(dbPath));
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(std::filesystem::path(Wide(path)), std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool FileExists(const std::string& path) {
    return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WriteFileBytes(const std::string& path, std::string_view bytes) {
    std::ofstream out(std::filesystem::path(Wide(path)), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace mae::test
