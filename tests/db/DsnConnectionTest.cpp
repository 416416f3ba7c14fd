// SQLite databases reached through DSNs of a private odbc.ini (ODBCINI) in ADO's MSDASQL form,
// through a whole start-up; refused providers; and driver messages, which never show a password.

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdio>

#include "app/startup/Startup.h"
#include "common/RuntimeError.h"
#include "common/Text.h"
#include "db/Connection.h"
#include "db/DbError.h"
#include "db/Odbc.h"
#include "db/Recordset.h"
#include "db/Value.h"
#include "layout/ItemLists.h"
#include "support/DriverLeaks.h"
#include "support/GeneratedRegistry.h"
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
        test::WriteFileBytes(
            m_dir.file("odbc.ini"),
            "[MeridaneRegistry]\nDriver=SQLite3\nDatabase=" + m_dir.registry() +
                "\n\n[MeridaneControl]\nDriver=SQLite3\nDatabase=" + m_dir.control() + "\n");
    }
    void WriteIni(const std::string& registry, const std::string& control) const {
        m_dir.WriteIniBytes("[Databases]\r\nRegistry=" + registry + "\r\nControl=" + control +
                            "\r\n");
    }

    test::GeneratedRegistry m_dir{{.cases = 20}};
    test::ScopedEnv m_odbcIni{"ODBCINI", m_dir.file("odbc.ini")};
};

// Both connections in MSDASQL form: the registry's DSN inside Extended Properties, the control
// database's as the data source.
TEST_F(DsnConnectionTest, StartUpOnBothDatabasesThroughMsdasql) {
    const std::string registry =
        "Provider=MSDASQL;Extended Properties=\"DSN=MeridaneRegistry;UID=audit\";Password=pw";
    WriteIni(registry,
             "Provider=MSDASQL.1;Persist Security Info=False;Data Source=MeridaneControl");
    AppState s;
    {
        test::DriverLeaksIgnored ignored;  // what unixODBC's look-up of a DSN leaves behind
        Form_Load(s);
    }
    EXPECT_EQ(ToUtf8(s.RegistryConnection.ConnectionString()), registry);  // as the host gave it
    EXPECT_EQ(s.NaaccrVersion, u"130");
    EXPECT_EQ(s.ConsolidatedLayout.size(), ConsolidatedItemCount);
    EXPECT_EQ(s.AbstractLayout.size(), AbstractItemCount);
    Recordset rs;
    rs.Open(u"select count(*) from medicalsum", s.RegistryConnection);
    EXPECT_EQ(ConcatText(rs.Field(0)), u"20");
}

TEST_F(DsnConnectionTest, StartUpStopsOnAProviderItCannotUse) {
    WriteIni("Provider=OraOLEDB.Oracle;Data Source=ORCL;User ID=scott;Password=Sekr3t!",
             "DSN=MeridaneControl");
    AppState s;
    std::string description;
    EXPECT_EQ(test::ErrorNumber([&] { Form_Load(s); }, &description), err::ProviderNotFound);
    EXPECT_TRUE(description.starts_with(
        "Opening the registry database: Provider cannot be found. It may not be properly "
        "installed: the connection string names the provider 'OraOLEDB.Oracle'"))
        << description;
    EXPECT_EQ(description.find("Sekr3t!"), std::string::npos);
    EXPECT_FALSE(s.ControlConnection.IsOpen());
}

// A driver's message may quote the string it was given (unixODBC names a driver it cannot load):
// the password never shows. With FreeTDS installed, the driver manager's list leads a SQL Server
// string to it, which then fails as a refused connection, not as a missing provider.
TEST_F(DsnConnectionTest, DriverErrorsNeverShowThePassword) {
    ASSERT_TRUE(Installed(u"SQLite3"));
    const bool freeTds = Installed(u"FreeTDS");
    if (!freeTds) std::printf("FreeTDS (Debian tdsodbc) is not installed: its case is left out\n");
    struct Case {
        const char16_t* text;
        const char* shown;  // what the message holds instead; nullptr: not checked
    };
    const Case cases[] = {
        {u"Driver={Sekr3t!};PWD=Sekr3t!", "'***'"},
        {u"Provider=MSDASQL;Extended Properties=\"Driver={Sekr3t!}\";Password=Sekr3t!", "'***'"},
        {u"Provider=SQLOLEDB.1;Data Source=127.0.0.1,1;Initial Catalog=Meridane;"
         u"User ID=audit;Password=Sekr3t!",
         nullptr},
        // Strings that cannot be parsed: the driver manager quotes all that follows an unclosed
        // brace, and the passwords in it are found by their keywords alone.
        {u"Driver={PostgreSQL Unicode;Server=127.0.0.1;UID=audit;PWD=Sekr3t!",
         "'PostgreSQL Unicode;Server=127.0.0.1;UID=audit;PWD=***'"},
        {u"Driver={x;pwd = {Sekr3t!;Sekr3t!}}", "'x;pwd = {***}'"},
        {u"Driver={x;Password=\"Sekr3t!;Sekr3t!;UID=u", "'x;Password=\"***'"},
        {u"Driver={x;Jet OLEDB:Database Password='Sekr3t!'x;y",
         "'x;Jet OLEDB:Database Password=***;y'"},
        {u"Driver={x; PWD=Sekr3t!}", "'x; PWD=***'"},
        // Beyond Latin-1: the driver manager narrows what it quotes, the secret with it.
        {u"Driver={x;PWD=\u0141\u00f3d\u017a-Sekr3t!", "'x;PWD=***'"},
        {u"Driver={Geld\u20ac-Sekr3t!};PWD=Geld\u20ac-Sekr3t!", "'***'"},
        {u"Driver={x;UID=u;PWD=\u043f\u0430\u0440\u043e\u043b\u044c-Sekr3t!", "'x;UID=u;PWD=***'"},
    };
    for (const Case& item : cases) {
        const std::u16string_view text = item.text;
        const bool sqlServer = text.starts_with(u"Provider=SQLOLEDB");
        if (sqlServer && !freeTds) continue;
        SCOPED_TRACE(ToUtf8(text));
        test::DriverLeaksIgnored ignored;  // FreeTDS after a failed login
        Connection c;
        c.SetConnectionString(std::u16string(text));
        try {
            c.Open();
            FAIL() << "opened";
        } catch (const DbError& e) {
            EXPECT_EQ(e.call(), "SQLDriverConnect");
            EXPECT_EQ(e.description().find("Sekr3t!"), std::string::npos) << e.description();
            if (item.shown) {
                EXPECT_NE(e.description().find(item.shown), std::string::npos) << e.description();
            }
        }
        EXPECT_FALSE(c.IsOpen());
    }
}

}  // namespace
}  // namespace mae
