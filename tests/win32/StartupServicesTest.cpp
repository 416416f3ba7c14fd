// The host's services on Windows: Meridane.ini through kernel32's profile routine, and the
// ConnectionStringProvider through COM against the tests' own in-process server.
#include <windows.h>
// COM, after <windows.h>.
#include <gtest/gtest.h>
#include <objbase.h>

#include <fstream>
#include <string>

#include "app/startup/ConnectionHint.h"
#include "app/startup/ConnectionStringProvider.h"
#include "app/startup/ProfileReader.h"
#include "app/win32/ErrorReport.h"
#include "app/win32/RegistryViews.h"
#include "common/RuntimeError.h"
#include "db/Connection.h"
#include "support/TableTest.h"

namespace mae {
namespace {

constexpr wchar_t ProviderKey[] =
    L"Software\\Classes\\CLSID\\{93DD741A-E634-4ADF-97AA-671746221132}";

std::string IniPath() { return WindowsFolder() + "\\Meridane.ini"; }

// Writes Meridane.ini into the Windows folder for its lifetime, then removes it.
class ScopedIni {
  public:
    explicit ScopedIni(const std::string& bytes) {
        std::ofstream(IniPath(), std::ios::binary) << bytes;
    }
    ~ScopedIni() { DeleteFileA(IniPath().c_str()); }
};

struct ProfileCase {
    const char* what;
    std::string ini;  // empty: no Meridane.ini at all
    const char16_t* section;
    const char16_t* key;
    std::u16string expected;
};

MAE_TABLE_TEST(ProfileRead, ProfileCase);

TEST_P(ProfileRead, GivesWhatTheStartUpReads) {
    const ProfileCase& c = GetParam();
    DeleteFileA(IniPath().c_str());
    if (c.ini.empty()) {
        EXPECT_EQ(ReadProfileString(c.section, c.key, u"Not Available", 250), c.expected) << c.what;
        return;
    }
    ScopedIni ini(c.ini);
    EXPECT_EQ(ReadProfileString(c.section, c.key, u"Not Available", 250), c.expected) << c.what;
}

const std::string LongValue(300, 'c');

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileRead,
    ::testing::Values(
        ProfileCase{"a value", "[Databases]\r\nControl=DSN=control\r\n", u"Databases", u"Control",
                    u"DSN=control"},
        ProfileCase{"names ignore case, letter case of the value kept",
                    "[options]\r\nscantext=all\r\n", u"Options", u"ScanText", u"all"},
        ProfileCase{"a missing key gives the default", "[Databases]\r\nOther=1\r\n", u"Databases",
                    u"Control", u"Not Available"},
        ProfileCase{"no file gives the default", "", u"Databases", u"Control", u"Not Available"},
        ProfileCase{"a present empty key gives the empty text", "[Databases]\r\nControl=\r\n",
                    u"Databases", u"Control", u""},
        ProfileCase{"a value is cut to 249 characters",
                    "[Databases]\r\nControl=" + LongValue + "\r\n", u"Databases", u"Control",
                    std::u16string(249, u'c')},
        ProfileCase{"an ANSI letter comes back as its character",
                    "[Databases]\r\nControl=Caf\xe9\r\n", u"Databases", u"Control", u"Caf\u00e9"}));

// COM is initialised on the test's thread as on the window's; the provider keeps its own scope.
class Provider : public ::testing::Test {
  protected:
    void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    void TearDown() override {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, ProviderKey);
        SetEnvironmentVariableW(L"MAE_TEST_PROVIDER_FAILURE", nullptr);
        SetEnvironmentVariableW(L"MAE_TEST_CONNECTION_STRING", nullptr);
        CoUninitialize();
    }
    // Registers the tests' server, the DLL beside this program, for the machine (as the host's
    // installer does).
    static void Register() {
        wchar_t path[MAX_PATH];
        const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
        std::wstring dll(path, length);
        dll = dll.substr(0, dll.find_last_of(L'\\') + 1) + L"test_provider.dll";
        HKEY key = nullptr;
        const std::wstring server = std::wstring(ProviderKey) + L"\\InprocServer32";
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, server.c_str(), 0, nullptr, 0, KEY_WRITE,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        const auto set = [key](const wchar_t* name, const std::wstring& value) {
            RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        };
        set(nullptr, dll);
        set(L"ThreadingModel", L"Apartment");
        RegCloseKey(key);
    }
};

TEST_F(Provider, NotRegisteredIsError429) {
    try {
        ConnectionStringProvider().GetConnectionString();
        FAIL() << "an unregistered class gave a string";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), err::CannotCreate);
        EXPECT_EQ(e.description().rfind("ActiveX component can't create object", 0), 0u)
            << e.description();
    }
}

TEST_F(Provider, RegisteredGivesItsStringUnchangedAndAFailureShowsItsHResult) {
    Register();
    // Blanks, a semicolon at the end, an accented letter and more than 249 characters: all kept.
    const std::wstring text =
        L" Driver=SQLite3;Database=C:\\Regi\u00e9stry\\r.db; " + std::wstring(300, L'x');
    SetEnvironmentVariableW(L"MAE_TEST_CONNECTION_STRING", text.c_str());
    EXPECT_EQ(ConnectionStringProvider().GetConnectionString(),
              std::u16string(text.begin(), text.end()));

    SetEnvironmentVariableW(L"MAE_TEST_PROVIDER_FAILURE", L"80004005");
    try {
        ConnectionStringProvider().GetConnectionString();
        FAIL() << "a failing call gave a string";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), -2147467259);
        const std::wstring report = win32::RunTimeErrorText(e);
        EXPECT_EQ(report.rfind(L"Run-time error '-2147467259 (80004005)':\r\n\r\n", 0), 0u);
    }
}

// The registry's two views: the host's component, an ODBC driver or a data source registered
// where this program sees it, for the other bitness only, or nowhere; the probe's answer and
// the sentence the failure then ends with (the component's through a real CoCreateInstance, the
// connections' through a real open, which the driver manager refuses: IM002, or error 3706 for
// a provider whose driver is missing).
enum class Where { Own, Other, None };

struct ViewCase {
    const char* what;
    Where where;
    const wchar_t* key;  // under HKEY_LOCAL_MACHINE, or HKEY_CURRENT_USER when userKey
    bool userKey;
    const char16_t* connection;  // nullptr: the host's component
    std::string sentence;        // what the description ends with; "" none of that kind
};

MAE_TABLE_ROW(ViewCase);

using win32::Holding;
using win32::View;

constexpr wchar_t ClassServer[] =
    L"SOFTWARE\\Classes\\CLSID\\{93DD741A-E634-4ADF-97AA-671746221132}\\InprocServer32";
constexpr wchar_t AccessDriver[] = L"SOFTWARE\\ODBC\\ODBCINST.INI\\Microsoft Access Driver (*.mdb)";
constexpr wchar_t HostDsn[] = L"SOFTWARE\\ODBC\\ODBC.INI\\hostcontrol";

REGSAM FlagOf(View view) {
    return (view == View::Own) == (win32::OwnBits == 64) ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
}

void SetText(HKEY root, const std::wstring& path, View view, const wchar_t* name,
             const std::wstring& value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE | FlagOf(view), nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

void RemoveKey(HKEY root, const std::wstring& path, View view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS | FlagOf(view), &key) ==
        ERROR_SUCCESS) {
        RegDeleteTreeW(key, nullptr);
        RegCloseKey(key);
    }
    RegDeleteKeyExW(root, path.c_str(), FlagOf(view), 0);
}

void RemoveValue(HKEY root, const std::wstring& path, View view, const wchar_t* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_SET_VALUE | FlagOf(view), &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, name);
        RegCloseKey(key);
    }
}

// "{other}" and "{own}" become the bitness of the build, "{node}" the WOW6432Node step a 32-bit
// view's key has.
std::string ForThisBuild(std::string text) {
    const auto put = [&text](const std::string& mark, const std::string& value) {
        for (size_t at; (at = text.find(mark)) != std::string::npos;)
            text.replace(at, mark.size(), value);
    };
    put("{other}", std::to_string(win32::OtherBits));
    put("{own}", std::to_string(win32::OwnBits));
    put("{node}", win32::OtherBits == 32 ? "WOW6432Node\\" : "");
    put("{ownnode}", win32::OwnBits == 32 ? "WOW6432Node\\" : "");
    return text;
}

class RegistryViews : public ::testing::TestWithParam<ViewCase> {
  protected:
    void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    void TearDown() override {
        for (View view : {View::Own, View::Other}) {
            RemoveKey(HKEY_LOCAL_MACHINE, ProviderKey, view);
            RemoveKey(HKEY_LOCAL_MACHINE, AccessDriver, view);
            RemoveKey(HKEY_LOCAL_MACHINE, HostDsn, view);
            RemoveKey(HKEY_CURRENT_USER, HostDsn, view);
            RemoveValue(HKEY_LOCAL_MACHINE, L"SOFTWARE\\ODBC\\ODBCINST.INI\\ODBC Drivers", view,
                        L"Microsoft Access Driver (*.mdb)");
            RemoveValue(HKEY_CURRENT_USER, L"SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources", view,
                        L"hostcontrol");
        }
        CoUninitialize();
    }
};

TEST_P(RegistryViews, FindsTheKeyAndSaysWhichBuildToRun) {
    const ViewCase& c = GetParam();
    const HKEY root = c.userKey ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    const std::wstring key = c.key;
    if (c.where != Where::None) {
        const View view = c.where == Where::Own ? View::Own : View::Other;
        if (key == AccessDriver) {
            SetText(HKEY_LOCAL_MACHINE, key, view, L"Driver",
                    L"C:\\Windows\\SysWOW64\\odbcjt32.dll");
            SetText(HKEY_LOCAL_MACHINE, L"SOFTWARE\\ODBC\\ODBCINST.INI\\ODBC Drivers", view,
                    L"Microsoft Access Driver (*.mdb)", L"Installed");
        } else if (key == HostDsn) {
            SetText(root, key, view, L"DBQ", L"C:\\Host\\control.mdb");
        } else {
            SetText(HKEY_LOCAL_MACHINE, key, view, nullptr, L"C:\\Host\\provider.dll");
        }
    }
    if (root == HKEY_CURRENT_USER) {
        // The User DSN is this program's to see; its driver is the other view's.
        SetText(HKEY_CURRENT_USER, L"SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources", View::Own,
                L"hostcontrol", L"Microsoft Access Driver (*.mdb)");
        SetText(HKEY_LOCAL_MACHINE, AccessDriver, View::Other, L"Driver", L"odbcjt32.dll");
    }
    const Holding expected = c.where == Where::Own     ? Holding::OwnView
                             : c.where == Where::Other ? Holding::OtherViewOnly
                                                       : Holding::Nowhere;
    EXPECT_EQ(win32::FindKey(root, key), expected);

    std::string description, failure;
    if (!c.connection) {
        try {
            ConnectionStringProvider().GetConnectionString();
            FAIL() << "a class with no server gave a string";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), err::CannotCreate);
            description = e.description();
        }
    } else {
        Connection connection;
        connection.SetConnectionString(c.connection);
        try {
            connection.Open();
            FAIL() << "a connection to a driver the driver manager does not know opened";
        } catch (const RuntimeError& e) {
            failure = e.description();
            description = ConnectionFailureHint(e, c.connection);
        }
    }
    SCOPED_TRACE(failure);
    EXPECT_EQ(failure.find("s3cr3t"), std::string::npos);
    const std::string sentence = ForThisBuild(c.sentence);
    if (sentence.empty()) {
        EXPECT_EQ(description.find("-bit programs only"), std::string::npos) << description;
    } else {
        ASSERT_GE(description.size(), sentence.size()) << "no sentence: " << description;
        EXPECT_EQ(description.substr(description.size() - sentence.size()), sentence);
    }
    EXPECT_EQ(description.find("s3cr3t"), std::string::npos);
}

const std::string RunOther =
    ", and this is the {own}-bit build of meridane-audit-extract: run its {other}-bit build "
    "instead.";
const std::string AccessOther =
    "The ODBC driver \"Microsoft Access Driver (*.mdb)\" is installed for {other}-bit programs "
    "only (HKEY_LOCAL_MACHINE\\SOFTWARE\\{node}ODBC\\ODBCINST.INI\\Microsoft Access Driver "
    "(*.mdb))" +
    RunOther;

INSTANTIATE_TEST_SUITE_P(
    Cases, RegistryViews,
    ::testing::Values(
        ViewCase{"component in this program's view", Where::Own, ClassServer, false, nullptr, ""},
        ViewCase{"component for the other bitness only", Where::Other, ClassServer, false, nullptr,
                 "The host's component is registered for {other}-bit programs only "
                 "(HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\{node}CLSID\\"
                 "{93DD741A-E634-4ADF-97AA-671746221132}\\InprocServer32: C:\\Host\\provider.dll)" +
                     RunOther},
        ViewCase{"component nowhere", Where::None, ClassServer, false, nullptr, ""},
        ViewCase{"driver in this program's view", Where::Own, AccessDriver, false,
                 u"Driver={Microsoft Access Driver (*.mdb)};Dbq=C:\\Host\\control.mdb", ""},
        ViewCase{"driver for the other bitness only", Where::Other, AccessDriver, false,
                 u"Driver={Microsoft Access Driver (*.mdb)};Dbq=C:\\Host\\control.mdb;PWD=s3cr3t",
                 AccessOther},
        ViewCase{"the provider's driver for the other bitness only", Where::Other, AccessDriver,
                 false,
                 u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\Host\\control.mdb;"
                 u"Jet OLEDB:Database Password=s3cr3t",
                 AccessOther},
        ViewCase{"driver nowhere", Where::None, AccessDriver, false,
                 u"Driver={Microsoft Access Driver (*.mdb)};Dbq=C:\\Host\\control.mdb", ""},
        ViewCase{"System DSN for the other bitness only", Where::Other, HostDsn, false,
                 u"DSN=hostcontrol;PWD=s3cr3t",
                 "The data source \"hostcontrol\" is defined for {other}-bit programs only "
                 "(HKEY_LOCAL_MACHINE\\SOFTWARE\\{node}ODBC\\ODBC.INI\\hostcontrol)" +
                     RunOther},
        ViewCase{"User DSN whose driver is for the other bitness only", Where::Own, HostDsn, true,
                 u"DSN=hostcontrol",
                 "The data source \"hostcontrol\" (HKEY_CURRENT_USER\\SOFTWARE\\ODBC\\ODBC.INI\\"
                 "hostcontrol) uses a driver that is not installed for {own}-bit programs. " +
                     AccessOther}));

TEST(RegistryKeyName, ShowsTheThirtyTwoBitViewUnderWow6432Node) {
    struct {
        HKEY root;
        const wchar_t* path;
        int bits;
        const char* shown;
    } const cases[] = {
        {HKEY_LOCAL_MACHINE, L"SOFTWARE\\ODBC\\ODBC.INI\\x", 32,
         "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\ODBC\\ODBC.INI\\x"},
        {HKEY_LOCAL_MACHINE, L"SOFTWARE\\ODBC\\ODBC.INI\\x", 64,
         "HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBC.INI\\x"},
        {HKEY_LOCAL_MACHINE, L"Software\\Classes\\CLSID\\{x}", 32,
         "HKEY_LOCAL_MACHINE\\Software\\Classes\\WOW6432Node\\CLSID\\{x}"},
        {HKEY_CURRENT_USER, L"Software\\Classes\\CLSID\\{x}", 32,
         "HKEY_CURRENT_USER\\Software\\Classes\\WOW6432Node\\CLSID\\{x}"},
        // The user's own SOFTWARE (User DSNs) is one key for both bitnesses.
        {HKEY_CURRENT_USER, L"SOFTWARE\\ODBC\\ODBC.INI\\x", 32,
         "HKEY_CURRENT_USER\\SOFTWARE\\ODBC\\ODBC.INI\\x"},
    };
    for (const auto& c : cases) EXPECT_EQ(win32::KeyName(c.root, c.path, c.bits), c.shown);
}

}  // namespace
}  // namespace mae
