#include "app/win32/RegistryViews.h"

#include <cwctype>
#include <vector>

#include "app/startup/ConnectionHint.h"
#include "app/startup/ProfileReader.h"
#include "app/win32/WideText.h"
#include "db/ConnectionString.h"
#include "db/DbError.h"
#include "db/Providers.h"
#include "platform/win32/WinText.h"

namespace mae::win32 {

namespace {

const std::wstring OdbcDrivers = L"SOFTWARE\\ODBC\\ODBCINST.INI\\";
const std::wstring OdbcSources = L"SOFTWARE\\ODBC\\ODBC.INI\\";
// A name or path from the registry is shown at most this long.
constexpr size_t ShownLength = 260;

REGSAM Flag(View view) {
    const bool wants64 = (view == View::Own) == (OwnBits == 64);
    return wants64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
}

bool HasKey(HKEY root, const std::wstring& path, View view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | Flag(view), &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

bool StartsWithIgnoreCase(std::wstring_view text, std::wstring_view start) {
    if (text.size() < start.size()) return false;
    for (size_t i = 0; i < start.size(); ++i) {
        if (towupper(text[i]) != towupper(start[i])) return false;
    }
    return true;
}

std::string Shown(const std::wstring& text) {
    return ToUtf8(FromWide(text.size() > ShownLength ? text.substr(0, ShownLength) : text));
}

std::string RunTheOtherBuild() {
    return "and this is the " + std::to_string(OwnBits) +
           "-bit build of meridane-audit-extract: run its " + std::to_string(OtherBits) +
           "-bit build instead.";
}

std::string OnlyForTheOther() { return "for " + std::to_string(OtherBits) + "-bit programs only"; }

// The names of the ODBC drivers installed in the other view.
std::vector<std::u16string> OtherViewDrivers() {
    std::vector<std::u16string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (OdbcDrivers + L"ODBC Drivers").c_str(), 0,
                      KEY_QUERY_VALUE | Flag(View::Other), &key) != ERROR_SUCCESS) {
        return names;
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[512];
        DWORD length = 512;
        if (RegEnumValueW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        names.push_back(FromWide(std::wstring_view(name, length)));
    }
    RegCloseKey(key);
    return names;
}

std::wstring ValueOf(const std::vector<ConnectionStringPair>& pairs, std::u16string_view key) {
    for (const auto& p : pairs) {
        if (p.key.size() != key.size()) continue;
        bool same = true;
        for (size_t i = 0; i < key.size() && same; ++i) {
            same = towupper(p.key[i]) == towupper(key[i]);
        }
        if (same) return Wide(p.value);  // the first of a repeated keyword counts, as in ODBC
    }
    return {};
}

// A driver's or data source's name is one key's name: one with a backslash names no such key.
bool IsKeyName(const std::wstring& name) {
    return !name.empty() && name.find(L'\\') == std::wstring::npos;
}

std::string DriverHint(const std::wstring& driver) {
    if (!IsKeyName(driver) ||
        FindKey(HKEY_LOCAL_MACHINE, OdbcDrivers + driver) != Holding::OtherViewOnly)
        return {};
    return "The ODBC driver \"" + Shown(driver) + "\" is installed " + OnlyForTheOther() + " (" +
           KeyName(HKEY_LOCAL_MACHINE, OdbcDrivers + driver, OtherBits) + "), " +
           RunTheOtherBuild();
}

std::string DataSourceHint(const std::wstring& dsn) {
    if (!IsKeyName(dsn)) return {};
    const std::wstring path = OdbcSources + dsn;
    // A User DSN first, as the driver manager looks.
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        const Holding holding = FindKey(root, path);
        if (holding == Holding::Nowhere) continue;
        if (holding == Holding::OtherViewOnly) {
            return "The data source \"" + Shown(dsn) + "\" is defined " + OnlyForTheOther() + " (" +
                   KeyName(root, path, OtherBits) + "), " + RunTheOtherBuild();
        }
        const std::wstring driver =
            ReadText(root, OdbcSources + L"ODBC Data Sources", dsn, View::Own);
        const std::string hint = DriverHint(driver);
        if (hint.empty()) return {};
        return "The data source \"" + Shown(dsn) + "\" (" + KeyName(root, path, OwnBits) +
               ") uses a driver that is not installed for " + std::to_string(OwnBits) +
               "-bit programs. " + hint;
    }
    return {};
}

}  // namespace

Holding FindKey(HKEY root, const std::wstring& path) {
    if (HasKey(root, path, View::Own)) return Holding::OwnView;
    return HasKey(root, path, View::Other) ? Holding::OtherViewOnly : Holding::Nowhere;
}

std::wstring ReadText(HKEY root, const std::wstring& path, const std::wstring& name, View view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | Flag(view), &key) != ERROR_SUCCESS)
        return {};
    std::wstring text;
    DWORD type = 0, bytes = 0;
    const wchar_t* valueName = name.empty() ? nullptr : name.c_str();
    if (RegQueryValueExW(key, valueName, nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ) && bytes < 65536) {
        // Room for a terminator the value may lack, and for an odd byte count.
        std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 2, L'\0');
        DWORD got = static_cast<DWORD>((buffer.size() - 1) * sizeof(wchar_t));
        if (RegQueryValueExW(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                             &got) == ERROR_SUCCESS) {
            const size_t units = got / sizeof(wchar_t);
            text.assign(buffer.data(), units < buffer.size() ? units : buffer.size() - 1);
            while (!text.empty() && text.back() == L'\0') text.pop_back();
        }
    }
    RegCloseKey(key);
    return text;
}

std::string KeyName(HKEY root, std::wstring_view path, int bits) {
    std::wstring shown(path);
    if (bits == 32) {
        // The keys a 64-bit editor shows under WOW6432Node: classes (of the machine or the
        // user) and the machine's SOFTWARE.
        const bool machine = root == HKEY_LOCAL_MACHINE;
        if (StartsWithIgnoreCase(path, L"SOFTWARE\\Classes\\")) {
            shown.insert(17, L"WOW6432Node\\");
        } else if (machine && StartsWithIgnoreCase(path, L"SOFTWARE\\")) {
            shown.insert(9, L"WOW6432Node\\");
        }
    }
    const char* rootName = root == HKEY_LOCAL_MACHINE  ? "HKEY_LOCAL_MACHINE\\"
                           : root == HKEY_CURRENT_USER ? "HKEY_CURRENT_USER\\"
                                                       : "HKEY_CLASSES_ROOT\\";
    return rootName + Shown(shown);
}

std::string ComponentViewHint(const std::wstring& clsid) {
    const std::wstring path = L"SOFTWARE\\Classes\\CLSID\\" + clsid + L"\\InprocServer32";
    HKEY other = nullptr;
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        const Holding holding = FindKey(root, path);
        if (holding == Holding::OwnView) return {};
        if (holding == Holding::OtherViewOnly && !other) other = root;
    }
    if (!other) return {};
    const std::wstring server = ReadText(other, path, L"", View::Other);
    return "The host's component is registered " + OnlyForTheOther() + " (" +
           KeyName(other, path, OtherBits) + (server.empty() ? "" : ": " + Shown(server)) + "), " +
           RunTheOtherBuild();
}

std::string ConnectionViewHint(const RuntimeError& failure, std::u16string_view connectionString) {
    try {
        const auto* db = dynamic_cast<const DbError*>(&failure);
        if (failure.number() == err::ProviderNotFound) {
            // The provider's driver, looked for among the other view's drivers.
            const std::u16string odbc = OdbcConnectionString(connectionString, OtherViewDrivers);
            return DriverHint(ValueOf(ParseConnectionString(odbc), u"DRIVER"));
        }
        // Windows says IM002 (not found) or IM014 (architecture mismatch), a driver manager that
        // takes an unknown driver's name for a file name says 01000: the registry decides.
        if (!db || db->call() != "SQLDriverConnect") return {};
        const auto pairs = ParseConnectionString(connectionString);
        const std::wstring driver = ValueOf(pairs, u"DRIVER");
        return driver.empty() ? DataSourceHint(ValueOf(pairs, u"DSN")) : DriverHint(driver);
    } catch (...) {
        // Not even a guess: the failure is reported as it came.
        return {};
    }
}

}  // namespace mae::win32

namespace mae {

namespace {

// For the control connection left without a string: which Meridane.ini was looked for, and
// whether it is missing or only lacks the value.
std::string SettingsFileHint() {
    const std::string path = WindowsFolder() + "\\" + std::string(IniFileName);
    std::wstring wide;
    platform::win32::Widen(path, CP_UTF8, 0, wide);
    if (GetFileAttributesW(wide.c_str()) == INVALID_FILE_ATTRIBUTES) {
        return "The settings file " + path +
               " was looked for and is not there. The host product writes it when it is "
               "installed: install or repair the host product, or have IT put its " +
               std::string(IniFileName) + " there, then start the program again.";
    }
    return path +
           " has no Control value in its [Databases] section, which names the control "
           "database: have IT add it (Control=<connection string>), then start the "
           "program again.";
}

}  // namespace

std::string ConnectionFailureHint(const RuntimeError& failure,
                                  std::u16string_view connectionString) noexcept {
    try {
        if (connectionString == ControlNotAvailable) return SettingsFileHint();
        return win32::ConnectionViewHint(failure, connectionString);
    } catch (...) {
        return {};
    }
}

}  // namespace mae
