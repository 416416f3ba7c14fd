// Connection strings in ADO's OLE DB form rewritten as ODBC strings, and ODBC strings left alone.
// No database here: the installed drivers are given as a list.

#include <gtest/gtest.h>

#include "common/RuntimeError.h"
#include "common/Text.h"
#include "db/ConnectionString.h"
#include "db/Providers.h"

namespace mae {
namespace {

constexpr const char* Secret = "Sekr3t!";

const std::vector<std::u16string> WindowsSqlServer = {u"SQL Server",
                                                      u"ODBC Driver 17 for SQL Server"};
const std::vector<std::u16string> SnacOnly = {u"SQL Server Native Client 11.0"};
const std::vector<std::u16string> FreeTds = {u"SQLite3", u"FreeTDS"};
const std::vector<std::u16string> Driver18AndFreeTds = {u"FreeTDS",
                                                        u"ODBC Driver 18 for SQL Server"};
const std::vector<std::u16string> BothAccess = {u"Microsoft Access Driver (*.mdb)",
                                                u"Microsoft Access Driver (*.mdb, *.accdb)"};
const std::vector<std::u16string> OldAccess = {u"Microsoft Access Driver (*.mdb)"};
const std::vector<std::u16string> NoDrivers = {u"SQLite3", u"PostgreSQL Unicode"};

struct Conversion {
    const char* name;
    const char* input;
    std::vector<std::u16string> drivers;
    DriverPlatform platform;
    const char* expected;
};

void PrintTo(const Conversion& c, std::ostream* os) { *os << c.name; }

class ConnectionStringConversion : public ::testing::TestWithParam<Conversion> {};

TEST_P(ConnectionStringConversion, GivesTheOdbcString) {
    const Conversion& c = GetParam();
    const DriverList drivers = [&c] { return c.drivers; };
    EXPECT_EQ(ToUtf8(OdbcConnectionString(FromUtf8(c.input), drivers, c.platform)), c.expected);
}

const Conversion conversions[] = {
    // ODBC strings, even ones this parser cannot read, go to the driver as they are.
    {"OdbcDsn", "DSN=MeridaneDSN;UID=audit;PWD=x", NoDrivers, DriverPlatform::Linux,
     "DSN=MeridaneDSN;UID=audit;PWD=x"},
    {"OdbcProviderInsideBraces", "Driver={SQLite3};Database=/srv/r.db;PWD={a;Provider=SQLOLEDB}",
     NoDrivers, DriverPlatform::Linux,
     "Driver={SQLite3};Database=/srv/r.db;PWD={a;Provider=SQLOLEDB}"},
    {"OdbcUnclosedQuote", "DSN=x;PWD=\"abc", NoDrivers, DriverPlatform::Linux, "DSN=x;PWD=\"abc"},
    // MSDASQL: ODBC behind OLE DB keywords.
    {"MsdasqlDsn", "Provider=MSDASQL.1;Persist Security Info=False;Data Source=MeridaneDSN",
     NoDrivers, DriverPlatform::Linux, "DSN=MeridaneDSN"},
    {"MsdasqlBlanksCaseAndQuotedSemicolon",
     " provider = msdasql ;  data source = MeridaneDSN ; User ID=audit;PASSWORD=\"p;w=d\" ",
     NoDrivers, DriverPlatform::Linux, "DSN=MeridaneDSN;UID=audit;PWD={p;w=d}"},
    {"MsdasqlExtendedPropertiesFirst",
     "Provider=MSDASQL.1;Data Source=Other;Extended Properties=\"DSN=MeridaneDSN;UID=audit\";"
     "User ID=ignored;Password=secret",
     NoDrivers, DriverPlatform::Linux, "DSN=MeridaneDSN;UID=audit;PWD=secret"},
    {"MsdasqlOdbcKeysPassThrough",
     "Provider=MSDASQL;Driver={SQLite3};Database=/srv/a b.db;Mode=Read;User ID=x;Note={'q}",
     NoDrivers, DriverPlatform::Linux, "Driver=SQLite3;Database=/srv/a b.db;UID=x;Note={'q}"},
    {"MsdasqlLastRepeatWinsAndDoubledQuotes",
     "Provider=MSDASQL;Data Source=first;DATA SOURCE='O''Brien DSN';Password={a;b}}c}", NoDrivers,
     DriverPlatform::Linux, "DSN=O'Brien DSN;PWD={a;b}}c}"},
    {"MsdasqlFirstProviderWins", "Provider=MSDASQL;Data Source=d;Provider=SQLOLEDB", NoDrivers,
     DriverPlatform::Linux, "DSN=d"},
    // SQL Server: the newest installed driver, and only the keywords it takes.
    {"SqloledbIntegratedOnWindows",
     "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;"
     "Initial Catalog=Meridane;Data Source=REGSRV01",
     WindowsSqlServer, DriverPlatform::Windows,
     "Driver={ODBC Driver 17 for SQL Server};Trusted_Connection=Yes;Database=Meridane;"
     "Server=REGSRV01"},
    {"SnacKeepsNetworkLibrary",
     "Provider=SQLNCLI11.1;Data Source=(local);Network Library=dbmssocn;Encrypt=yes;"
     "Auto Translate=False",
     SnacOnly, DriverPlatform::Windows,
     "Driver={SQL Server Native Client 11.0};Server=(local);Network=dbmssocn;Encrypt=yes;"
     "AutoTranslate=no"},
    {"MsoledbsqlOnLinuxPrefersDriver18",
     "Provider=MSOLEDBSQL;Data Source=REGSRV01,1433;Use Encryption for Data=True;"
     "Trust Server Certificate=True;Network Library=DBMSSOCN;Application Name=Audit",
     Driver18AndFreeTds, DriverPlatform::Linux,
     "Driver={ODBC Driver 18 for SQL Server};Server=REGSRV01,1433;Encrypt=yes;"
     "TrustServerCertificate=yes;APP=Audit"},
    {"FreeTdsSplitsPortAndInstance",
     "Provider=SQLNCLI11;Data Source=tcp:REGSRV01\\SQLEXPRESS, 1433;Initial Catalog=Meridane;"
     "User ID=audit;Password=\"s3;cret\"",
     FreeTds, DriverPlatform::Linux,
     "Driver={FreeTDS};Server=REGSRV01\\SQLEXPRESS;Port=1433;Database=Meridane;UID=audit;"
     "PWD={s3;cret}"},
    {"FreeTdsEncryptionAndLocalServer",
     "Provider=SQLOLEDB;Data Source=(local);Encrypt=True;TrustServerCertificate=True;"
     "Integrated Security=SSPI;Failover Partner=B",
     FreeTds, DriverPlatform::Linux,
     "Driver={FreeTDS};Server=localhost;Encryption=require;Trusted_Connection=Yes"},
    // Access: the file, its password, and never more than a read.
    {"JetMdb", "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\Halvory\\Meridane\\control.mdb",
     BothAccess, DriverPlatform::Windows,
     "Driver={Microsoft Access Driver (*.mdb, *.accdb)};DBQ=C:\\Halvory\\Meridane\\control.mdb;"
     "ReadOnly=1"},
    {"JetMdbOlderDriver", "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\m\\control.mdb",
     OldAccess, DriverPlatform::Windows,
     "Driver={Microsoft Access Driver (*.mdb)};DBQ=C:\\m\\control.mdb;ReadOnly=1"},
    {"AceAccdbDatabasePassword",
     "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=C:\\data\\control.accdb;"
     "Jet OLEDB:Database Password=\"pa;ss\";Mode=Share Exclusive;Persist Security Info=False;"
     "Password=workgroup",
     BothAccess, DriverPlatform::Windows,
     "Driver={Microsoft Access Driver (*.mdb, *.accdb)};DBQ=C:\\data\\control.accdb;"
     "PWD={pa;ss};ReadOnly=1"},
    {"Ace16Workgroup",
     "Provider=Microsoft.ACE.OLEDB.16.0;Data Source=x.mdb;User ID=Admin;Password=;"
     "Jet OLEDB:System database=C:\\sys.mdw",
     BothAccess, DriverPlatform::Linux,
     "Driver={Microsoft Access Driver (*.mdb, *.accdb)};DBQ=x.mdb;UID=Admin;SystemDB=C:\\sys.mdw;"
     "ReadOnly=1"},
};

INSTANTIATE_TEST_SUITE_P(Strings, ConnectionStringConversion, ::testing::ValuesIn(conversions),
                         [](const auto& info) { return std::string(info.param.name); });

struct Refusal {
    const char* name;
    const char* input;
    std::vector<std::u16string> drivers;
    int32_t number;
    const char* says;  // a part of the message
};

void PrintTo(const Refusal& r, std::ostream* os) { *os << r.name; }

class ConnectionStringRefusal : public ::testing::TestWithParam<Refusal> {};

// Every refusal names what is wrong and never shows the password.
TEST_P(ConnectionStringRefusal, SaysWhyWithoutThePassword) {
    const Refusal& r = GetParam();
    const DriverList drivers = [&r] { return r.drivers; };
    try {
        OdbcConnectionString(FromUtf8(r.input), drivers, DriverPlatform::Linux);
        FAIL() << "accepted";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), r.number);
        EXPECT_NE(e.description().find(r.says), std::string::npos) << e.description();
        EXPECT_EQ(e.description().find(Secret), std::string::npos) << e.description();
        // The description starts with the standard text of its number.
        std::string standard(err::Text(r.number));
        standard.back() = ':';
        EXPECT_EQ(e.description().rfind(standard, 0), 0u) << e.description();
    }
}

const Refusal refusals[] = {
    {"SqlServerDriverMissing", "Provider=SQLOLEDB;Data Source=R;User ID=sa;Password=Sekr3t!",
     NoDrivers, err::ProviderNotFound,
     "provider 'SQLOLEDB', which is read through an ODBC driver, and none of these is installed: "
     "ODBC Driver 18 for SQL Server, ODBC Driver 17 for SQL Server, FreeTDS"},
    {"AccdbNeedsTheNewerDriver",
     "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=a.accdb;Jet OLEDB:Database Password=Sekr3t!",
     OldAccess, err::ProviderNotFound,
     "none of these is installed: Microsoft Access Driver (*.mdb, *.accdb)"},
    {"UnknownProvider", "Provider=OraOLEDB.Oracle;Data Source=ORCL;Password=Sekr3t!", FreeTds,
     err::ProviderNotFound,
     "names the provider 'OraOLEDB.Oracle'; this program reads through MSDASQL, the SQL Server "
     "providers (SQLOLEDB, SQLNCLI, MSOLEDBSQL) and the Access providers "
     "(Microsoft.Jet.OLEDB.4.0, Microsoft.ACE.OLEDB), or an ODBC connection string"},
    {"UnclosedQuote", "Provider=SQLOLEDB;Password=\"Sekr3t!;Data Source=x", FreeTds,
     err::BadInitString, "a quoted value that is never closed at character 28"},
    {"TextAfterQuote", "Provider=SQLOLEDB;Password=\"Sekr3t!\"x;Data Source=R", FreeTds,
     err::BadInitString, "text after a quoted value"},
    {"ValueWithoutKeyword", "Provider=MSDASQL;=Sekr3t!", NoDrivers, err::BadInitString,
     "a value without a keyword"},
    {"BadExtendedProperties", "Provider=MSDASQL;Extended Properties=\"DSN=x;PWD=Sekr3t!;junk\"",
     NoDrivers, err::BadInitString, "a keyword without '=' at character 19 of its Extended"},
    // Written out as it stands, the keyword would end at its '=' and the value's braced text
    // would reach the driver as keywords of their own.
    {"KeywordHoldingEquals",
     "Provider=MSDASQL;Data\"ase==/srv/r.db,D={x;Provider=xyte;PWD=Sekr3t!}", NoDrivers,
     err::BadInitString, "a keyword holding '=' (written \"==\") cannot be passed"},
    {"KeywordHoldingEqualsInExtended",
     "Provider=MSDASQL;Extended Properties='a==b={Driver=x};PWD=Sekr3t!'", NoDrivers,
     err::BadInitString, "a keyword holding '='"},
};

INSTANTIATE_TEST_SUITE_P(Strings, ConnectionStringRefusal, ::testing::ValuesIn(refusals),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace mae
