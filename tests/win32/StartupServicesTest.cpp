// The host's services on Windows: Meridane.ini through kernel32's profile routine, and the
// ConnectionStringProvider through COM against the tests' own in-process server.
#include <windows.h>
// COM, after <windows.h>.
#include <gtest/gtest.h>
#include <objbase.h>

#include <fstream>
#include <string>

#include "app/startup/ConnectionStringProvider.h"
#include "app/startup/ProfileReader.h"
#include "app/win32/ErrorReport.h"
#include "common/RuntimeError.h"

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

void PrintTo(const ProfileCase& c, std::ostream* os) { *os << c.what; }

class ProfileRead : public ::testing::TestWithParam<ProfileCase> {};

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

}  // namespace
}  // namespace mae
