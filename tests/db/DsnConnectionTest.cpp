// SQLite databases reached through DSNs of a private odbc.ini (ODBCINI), in ODBC's form and in
// ADO's MSDASQL form, up to a whole start-up; and a SQL Server string that the driver manager
// hands to FreeTDS when it is installed.

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdio>

#include "app/Startup.h"
#include "common/RuntimeError.h"
#include "common/Text.h"
#include "db/Connection.h"
#include "db/ConnectionString.h"
#include "db/DbError.h"
#include "db/Recordset.h"
#include "db/Value.h"
#include "generator/RegistryGenerator.h"
#include "support/TestDb.h"

namespace mae {
namespace {

std::vector<std::u16string> DriversOfTheDriverManager() {
    SQLHANDLE env = nullptr;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) return {};
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    auto drivers = odbc::InstalledDrivers(env);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return drivers;
}

bool Installed(std::u16string_view driver) {
    for (const auto& d : DriversOfTheDriverManager())
        if (d == driver) return true;
    return false;
}

class DsnConnectionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        gen::RegistryOptions options;
        options.cases = 20;
        gen::WriteRegistryDatabase(m_dir.file("registry.db"), options);
        gen::WriteControlDatabase(m_dir.file("control.db"));
        test::WriteFileBytes(
            m_dir.file("odbc.ini"),
            "[MeridaneRegistry]\nDriver=SQLite3\nDatabase=" + m_dir.file("registry.db") +
                "\n\n[MeridaneControl]\nDriver=SQLite3\nDatabase=" + m_dir.file("control.db") +
                "\n");
    }
    void WriteIni(const std::string& registry, const std::string& control) const {
        test::WriteFileBytes(m_dir.file("Meridane.ini"), "[Databases]\r\nRegistry=" + registry +
                                                             "\r\nControl=" + control + "\r\n");
    }

    test::TempDir m_dir;
    test::ScopedEnv m_odbcIni{"ODBCINI", m_dir.file("odbc.ini")};
    test::ScopedEnv m_windir{"WINDIR", m_dir.path()};
};

TEST_F(DsnConnectionTest, EveryFormOfTheDsnReadsTheRegistry) {
    for (const char* text :
         {"DSN=MeridaneRegistry",
          "Provider=MSDASQL.1;Persist Security Info=False;"
          "Data Source=MeridaneRegistry",
          "Provider=MSDASQL;Extended Properties=\"DSN=MeridaneRegistry;UID=audit\";Password=pw"}) {
        SCOPED_TRACE(text);
        Connection c;
        c.SetConnectionString(FromUtf8(text));
        c.Open();
        Recordset rs;
        rs.Open(u"select count(*) from medicalsum", c);
        EXPECT_EQ(ConcatText(rs.Field(0)), u"20");
        EXPECT_EQ(ToUtf8(c.ConnectionString()), text);  // kept as the host gave it
    }
}

TEST_F(DsnConnectionTest, StartUpOnBothDatabasesThroughMsdasql) {
    WriteIni("Provider=MSDASQL.1;Persist Security Info=False;Data Source=MeridaneRegistry",
             "Provider=MSDASQL;Data Source=MeridaneControl;User ID=Admin;Password=");
    AppState s;
    Form_Load(s);
    EXPECT_TRUE(s.RegistryConnection.IsOpen());
    EXPECT_EQ(s.NaaccrVersion, u"130");
    EXPECT_EQ(s.ConsolidatedLayout.size(), 57u);
    EXPECT_EQ(s.AbstractLayout.size(), 82u);
}

TEST_F(DsnConnectionTest, StartUpStopsOnAProviderItCannotUse) {
    struct Case {
        const char* registry;
        const char* says;
    };
    const Case cases[] = {
        {"Provider=OraOLEDB.Oracle;Data Source=ORCL;User ID=scott;Password=Sekr3t!",
         "names the provider 'OraOLEDB.Oracle'"},
        {"Provider=Microsoft.ACE.OLEDB.12.0;Data Source=/srv/control.accdb;"
         "Jet OLEDB:Database Password=Sekr3t!",
         "none of these is installed: Microsoft Access Driver (*.mdb, *.accdb)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.registry);
        WriteIni(c.registry, "DSN=MeridaneControl");
        AppState s;
        try {
            Form_Load(s);
            FAIL() << "started";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), err::ProviderNotFound);
            EXPECT_EQ(e.description().rfind("Opening the registry database: Provider cannot be "
                                            "found. It may not be properly installed",
                                            0),
                      0u)
                << e.description();
            EXPECT_NE(e.description().find(c.says), std::string::npos) << e.description();
            EXPECT_EQ(e.description().find("Sekr3t!"), std::string::npos);
        }
        EXPECT_FALSE(s.RegistryConnection.IsOpen());
        EXPECT_FALSE(s.ControlConnection.IsOpen());
    }
}

// A driver's message may quote the string it was given (unixODBC names a driver it cannot load):
// the password never shows. With FreeTDS installed, the driver manager's list leads a SQL Server
// string to it, which then fails as a refused connection, not as a missing provider.
TEST_F(DsnConnectionTest, DriverErrorsNeverShowThePassword) {
    ASSERT_TRUE(Installed(u"SQLite3"));
    const bool freeTds = Installed(u"FreeTDS");
    if (!freeTds) std::printf("FreeTDS (Debian tdsodbc) is not installed: its case is left out\n");
    for (const char16_t* text :
         {u"Driver={Sekr3t!};PWD=Sekr3t!",
          u"Provider=MSDASQL;Extended Properties=\"Driver={Sekr3t!}\";Password=Sekr3t!",
          u"Provider=SQLOLEDB.1;Data Source=127.0.0.1,1;Initial Catalog=Meridane;"
          u"User ID=audit;Password=Sekr3t!"}) {
        const bool sqlServer = std::u16string_view(text).starts_with(u"Provider=SQLOLEDB");
        if (sqlServer && !freeTds) continue;
        SCOPED_TRACE(ToUtf8(text));
        Connection c;
        c.SetConnectionString(text);
        try {
            c.Open();
            FAIL() << "opened";
        } catch (const DbError& e) {
            EXPECT_EQ(e.call(), "SQLDriverConnect");
            EXPECT_EQ(e.description().find("Sekr3t!"), std::string::npos) << e.description();
            if (!sqlServer) {
                EXPECT_NE(e.description().find("'***'"), std::string::npos) << e.description();
            }
        }
        EXPECT_FALSE(c.IsOpen());
    }
}

}  // namespace
}  // namespace mae
