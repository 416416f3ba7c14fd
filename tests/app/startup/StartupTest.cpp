#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "app/startup/Startup.h"
#include "common/RuntimeError.h"
#include "common/Text.h"
#include "extract/ExtractRun.h"
#include "extract/OutputFiles.h"
#include "layout/ItemLists.h"
#include "support/GeneratedRegistry.h"
#include "support/MiniRegistry.h"
#include "support/TestDb.h"

namespace mae {
namespace {

using test::ExecSql;
constexpr auto Cs = test::SqliteConnection;

// A folder standing for the Windows folder, with a generated registry and control database.
class StartupTest : public ::testing::Test {
  protected:
    void WriteIni(const std::string& body) const { m_dir.WriteIniBytes(body); }
    void WriteStandardIni(const std::string& options = "[Options]\r\nScanText=TEXT\r\n") const {
        WriteIni("[Databases]\r\nControl=" + Cs(m_control) + "\r\nRegistry=" + Cs(m_registry) +
                 "\r\n" + options);
    }
    int LoadError(AppState& state, std::string* description = nullptr) const {
        return test::ErrorNumber([&] { Form_Load(state); }, description);
    }

    test::GeneratedRegistry m_dir{{.cases = 20}};
    const std::string m_registry = m_dir.registry(), m_control = m_dir.control();
};

TEST_F(StartupTest, LoadsSettingsAndBothLayouts) {
    WriteStandardIni();
    AppState s;
    Form_Load(s);
    EXPECT_TRUE(s.RegistryConnection.IsOpen());
    EXPECT_TRUE(s.ControlConnection.IsOpen());
    EXPECT_EQ(s.RegistryConnection.CommandTimeout(), 120);
    EXPECT_EQ(s.ScanTextMode, u"TEXT");
    EXPECT_EQ(s.NaaccrVersion, u"130");
    EXPECT_EQ(s.ControlTableName, u"naaccr13layout");
    ASSERT_EQ(s.ConsolidatedLayout.size(), ConsolidatedItemCount);
    ASSERT_EQ(s.AbstractLayout.size(), AbstractItemCount);
    EXPECT_EQ(s.ConsolidatedSelectList.rfind(u"Medicalsum.medrefid, Patients.", 0), 0u);
    EXPECT_EQ(s.AbstractSelectList.rfind(u"medrefid, ", 0), 0u);
    int textEntries = 0;
    for (const auto& e : s.AbstractLayout) textEntries += e.IsTextEntry();
    EXPECT_EQ(textEntries, 17);
    EXPECT_EQ(s.LayoutRecordset.State(), 1);  // left open on the last lookup
    // Every item of both lists has its row in the demo control table.
    for (const auto& e : s.AbstractLayout)
        EXPECT_FALSE(e.FieldName.empty()) << ToUtf8(e.ItemNumber);
}

// The host writes: its connection holds the registry with BEGIN EXCLUSIVE. Start-up does not
// wait for it; a run waits no longer than the command timeout (120 s; 1 s here) or the string's
// own shorter Timeout, and ends with the timeout's run-time error either way; nothing is put in
// place of the output files.
TEST_F(StartupTest, ARegistryLockedByAWriterNeitherHoldsUpStartupNorARunPastItsTimeout) {
    const struct {
        const char* timeout;  // the registry string's own Timeout, in milliseconds
        int commandTimeout;
        const char* says;
    } cases[] = {
        {"400000", 1, "within 1 second."},
        {"1500", RegistryCommandTimeout, "within 1500 milliseconds."},
    };
    using Clock = std::chrono::steady_clock;
    auto seconds = [](Clock::time_point from) {
        return std::chrono::duration<double>(Clock::now() - from).count();
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.timeout);
        WriteIni("[Databases]\r\nControl=" + Cs(m_control) + "\r\nRegistry=" + Cs(m_registry) +
                 ";Timeout=" + c.timeout + "\r\n");
        sqlite3* writer = nullptr;
        ASSERT_EQ(sqlite3_open(m_registry.c_str(), &writer), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(writer, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);

        AppState s;
        auto start = Clock::now();
        Form_Load(s);
        EXPECT_LT(seconds(start), 5);  // the window shows at once
        EXPECT_EQ(s.ConsolidatedLayout.size(), ConsolidatedItemCount);

        s.ApplicationFolder = m_dir.file(std::string("out") + c.timeout);
        std::filesystem::create_directories(s.ApplicationFolder);
        s.RegistryConnection.SetCommandTimeout(c.commandTimeout);
        test::RecordingUi ui;
        std::string description;
        start = Clock::now();
        EXPECT_EQ(test::ErrorNumber([&] { RunExtract(s.MakeExtractContext(), ui); }, &description),
                  err::QueryTimeout)
            << description;
        EXPECT_GE(seconds(start), 0.9);
        EXPECT_LT(seconds(start), 10);
        EXPECT_NE(description.find(c.says), std::string::npos) << description;
        EXPECT_NE(description.find("database is locked"), std::string::npos) << description;
        EXPECT_TRUE(ui.boxes.empty());
        EXPECT_FALSE(test::FileExists(s.ApplicationFolder + "/" + ConsolidatedFileName));

        // Once the writer is done, the same connections serve a whole run.
        ASSERT_EQ(sqlite3_exec(writer, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(writer);
        EXPECT_EQ(RunExtract(s.MakeExtractContext(), ui), RunOutcome::Completed);
    }
}

// A writer holds the control database: its statements wait 30 s at most, and start-up ends with
// the timeout error, saying which step it was, instead of waiting without a word.
TEST_F(StartupTest, AControlDatabaseHeldByAWriterEndsStartUpWithTheTimeoutError) {
    WriteStandardIni();
    sqlite3* writer = nullptr;
    ASSERT_EQ(sqlite3_open(m_control.c_str(), &writer), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(writer, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    AppState s;
    const auto start = std::chrono::steady_clock::now();
    std::string description;
    EXPECT_EQ(LoadError(s, &description), err::QueryTimeout) << description;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(seconds, 25);
    EXPECT_LT(seconds, 35);
    EXPECT_EQ(description.rfind("Reading naaccrparameters from the control database: Query "
                                "timeout expired: the database did not finish a statement within "
                                "30 seconds.",
                                0),
              0u)
        << description;
    EXPECT_EQ(s.ControlConnection.CommandTimeout(), ControlCommandTimeout);
    sqlite3_close(writer);
}

TEST_F(StartupTest, RegistryOpensBeforeControlAndMissingControlKeyFails) {
    WriteIni("[Databases]\r\nRegistry=" + Cs(m_registry) + "\r\n");
    AppState s;
    EXPECT_EQ(LoadError(s), err::Provider);
    EXPECT_TRUE(s.RegistryConnection.IsOpen());
    EXPECT_EQ(s.ControlConnection.ConnectionString(), u"Not Available");
    EXPECT_TRUE(s.ScanTextMode.empty());  // never read
}

TEST_F(StartupTest, MissingIniFailsAtTheHostComponent) {
    AppState s;
    EXPECT_EQ(LoadError(s), err::CannotCreate);
    EXPECT_FALSE(s.RegistryConnection.IsOpen());
}

TEST_F(StartupTest, ProfileValuesAreCutAndKeptAsRead) {
    // A 300-character Control value: the connection string is its first 249 characters.
    std::string longValue = Cs(m_control) + ";" + std::string(300, 'x');
    WriteIni("[Databases]\r\nControl=" + longValue + "\r\nRegistry=" + Cs(m_registry) + "\r\n");
    AppState s;
    LoadError(s);  // the driver may or may not accept the cut string
    EXPECT_EQ(s.ControlConnection.ConnectionString(), FromUtf8(longValue.substr(0, 249)));

    WriteIni("[Databases]\r\nControl=\r\nRegistry=" + Cs(m_registry) + "\r\n");
    AppState empty;
    EXPECT_EQ(LoadError(empty), err::Provider);
    EXPECT_EQ(empty.ControlConnection.ConnectionString(), u"");  // present but empty

    WriteStandardIni("[options]\r\nscantext=all\r\n");
    AppState lower;
    Form_Load(lower);
    EXPECT_EQ(lower.ScanTextMode, u"all");  // letter case kept

    WriteStandardIni("[Options]\r\n");
    AppState missing;
    Form_Load(missing);
    EXPECT_EQ(missing.ScanTextMode, u"TEXT");
}

TEST_F(StartupTest, ParametersRowDecidesTableAndVersion) {
    WriteStandardIni();
    // Two current rows: the first the database returns wins; a numeric version gives its digits.
    ExecSql(m_control,
            "delete from naaccrparameters;"
            "create table naaccrparameters2 as select * from naaccrparameters;"
            "drop table naaccrparameters;"
            "create table naaccrparameters (controltablename text, naaccrversion integer, "
            "[current] integer);"
            "insert into naaccrparameters values ('naaccr13layout', 130, -1);"
            "insert into naaccrparameters values ('other', 999, -1);");
    AppState s;
    Form_Load(s);
    EXPECT_EQ(s.NaaccrVersion, u"130");
    EXPECT_EQ(s.ControlTableName, u"naaccr13layout");

    ExecSql(m_control, "update naaccrparameters set controltablename = null");
    AppState nullName;
    EXPECT_EQ(LoadError(nullName), err::InvalidNull);

    ExecSql(m_control, "update naaccrparameters set [current] = 0");
    AppState noRow;  // no current row: the first lookup names no table and is refused
    EXPECT_EQ(LoadError(noRow), err::Provider);
    EXPECT_TRUE(noRow.ControlTableName.empty());
    EXPECT_TRUE(noRow.NaaccrVersion.empty());

    ExecSql(m_control, "drop table naaccrparameters");
    AppState noTable;
    EXPECT_EQ(LoadError(noTable), err::Provider);
}

TEST_F(StartupTest, TableNameMustBeAPlainName) {
    WriteStandardIni();
    for (const char* bad : {"naaccr13layout where 1=1; --", "a b", "x'y", "a.b.c.d.e", "[a]]"}) {
        ExecSql(m_control, std::string("update naaccrparameters set controltablename = '") +
                               (std::string(bad) == "x'y" ? "x''y" : bad) + "' where [current]=-1");
        AppState s;
        std::string description;
        EXPECT_EQ(LoadError(s, &description), err::InvalidCall) << bad;
        EXPECT_TRUE(description.starts_with(
            "Reading naaccrparameters from the control database: Invalid procedure call or "
            "argument: the layout table named in naaccrparameters.controltablename ('"))
            << description;
    }
    // Names the lookups take as they are: bracketed, with blanks inside brackets, qualified, and
    // padded as a fixed-width CHAR column stores them (the padding is not sent).
    ExecSql(m_control, "create table [naaccr 13 layout] as select * from naaccr13layout");
    for (const char* good :
         {"[naaccr13layout]", "[naaccr 13 layout]", "naaccr13layout    ", "main.naaccr13layout"}) {
        ExecSql(m_control, std::string("update naaccrparameters set controltablename = '") + good +
                               "' where [current]=-1");
        AppState s;
        Form_Load(s);
        EXPECT_EQ(s.AbstractLayout.size(), AbstractItemCount) << good;
        const std::string sent =
            std::string(good).substr(0, std::string(good).find_last_not_of(' ') + 1);
        EXPECT_EQ(ToUtf8(s.ControlTableName), sent);
    }
}

// A column's name from the layout table that would carry a statement of its own (the two
// injections: a library loaded through SQLite's load_extension, and several statements that
// psqlODBC runs) ends start-up before the window is shown, naming the item and the table.
TEST_F(StartupTest, FieldNameThatIsNoNameEndsStartUp) {
    WriteStandardIni();
    for (const char* bad :
         {"sex, load_extension(''/tmp/x.so'')",
          "sex from patients, medicalsum limit 0; SET SESSION CHARACTERISTICS AS TRANSACTION READ "
          "WRITE; COMMIT; delete from canary; create table pwned(x int); select sex"}) {
        ExecSql(m_control, std::string("update naaccr13layout set FieldName = '") + bad +
                               "' where naaccr_item_no = 220");
        AppState s;
        std::string description;
        EXPECT_EQ(LoadError(s, &description), err::InvalidCall) << bad;
        EXPECT_TRUE(description.starts_with(
            "Loading the record layouts from the control database: Invalid procedure call or "
            "argument: the FieldName of item 220 in layout table naaccr13layout ('sex"))
            << description;
    }
}

TEST_F(StartupTest, BadConnectionStringEndsStartUp) {
    WriteIni("[Databases]\r\nControl=" + Cs(m_control) +
             "\r\nRegistry=Driver=NoSuchDriver;Server=x;PWD=secret\r\n");
    AppState s;
    std::string description;
    EXPECT_EQ(LoadError(s, &description), err::Provider);
    EXPECT_EQ(description.find("secret"), std::string::npos);
    EXPECT_NE(description.find("registry"), std::string::npos);
}

// A mistyped SQLite path must not leave an empty database behind and let start-up go on: it ends
// start-up naming the path, for either database. A string that allows creating keeps that.
TEST_F(StartupTest, MissingSqliteFileEndsStartUpNamingItAndIsNotCreated) {
    const std::string missing = m_dir.file("registy.db");
    // The control string names its driver and file in braces, as ODBC allows.
    const std::string bracedMissing = "Driver={SQLite3};Database={" + missing + "};";
    for (bool registry : {true, false}) {
        WriteIni("[Databases]\r\nControl=" + (registry ? Cs(m_control) : bracedMissing) +
                 "\r\nRegistry=" + Cs(registry ? missing : m_registry) + "\r\n");
        AppState s;
        std::string description;
        EXPECT_EQ(LoadError(s, &description), err::Provider)
            << "start-up went on without " << missing;
        EXPECT_NE(description.find(registry ? "registry database" : "control database"),
                  std::string::npos)
            << description;
        EXPECT_NE(description.find("The SQLite database file " + missing + " does not exist."),
                  std::string::npos)
            << description;
        EXPECT_FALSE(test::FileExists(missing));
    }

    // The string's own NoCreat=0 does not make an empty registry either.
    WriteIni("[Databases]\r\nControl=" + Cs(m_control) + "\r\nRegistry=" + Cs(missing) +
             ";NoCreat=0\r\n");
    AppState s;
    EXPECT_EQ(LoadError(s), err::Provider);
    EXPECT_FALSE(test::FileExists(missing));
}

// A password beyond Latin-1, as the ini holds it (UTF-8 with a byte-order mark, or the PC's
// Windows-1252), never shows in the report, in whatever form the driver manager quotes it.
TEST_F(StartupTest, APasswordBeyondLatin1FromTheIniNeverShows) {
    const struct {
        const char* what;
        std::string ini;
    } inis[] = {
        {"UTF-8 ini, L with stroke",
         "\xEF\xBB\xBF[Databases]\r\nRegistry=Driver={x;PWD=\xC5\x81\xC3\xB3"
         "d\xC5\xBA-Sekr3t!\r\n"},
        {"UTF-8 ini, Cyrillic",
         "\xEF\xBB\xBF[Databases]\r\nRegistry=Driver={x;UID=u;PWD=\xD0\xBF\xD0\xB0\xD1\x80\xD0\xBE"
         "\xD0\xBB\xD1\x8C-Sekr3t!\r\n"},
        {"Windows-1252 ini, euro sign",
         "[Databases]\r\nRegistry=Driver={Geld\x80-Sekr3t!};PWD=Geld\x80-Sekr3t!\r\n"},
    };
    for (const auto& ini : inis) {
        SCOPED_TRACE(ini.what);
        WriteIni(ini.ini + "Control=" + Cs(m_control) + "\r\n");
        AppState s;
        std::string description;
        EXPECT_NE(LoadError(s, &description), 0);
        EXPECT_NE(description.find("Opening the registry database"), std::string::npos)
            << description;
        EXPECT_EQ(description.find("Sekr3t"), std::string::npos) << description;
    }
}

}  // namespace
}  // namespace mae
