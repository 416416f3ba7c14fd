// The whole extraction on a PostgreSQL registry against the same registry in SQLite: the same
// case query, the same totals, and the same lines in both record files and the log (compared
// sorted: neither query orders its rows, so the server may return cases in another order).

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "common/Text.h"
#include "extract/ExtractRun.h"
#include "server/PgTestSupport.h"
#include "support/GeneratedRegistry.h"
#include "support/MiniRegistry.h"

namespace mae {
namespace {

using test::ProgramRun;
using test::RunResult;

struct Variant {
    const char* name;
    int cases;
    uint32_t seed;
    bool fullText;
};

void PrintTo(const Variant& v, std::ostream* os) { *os << v.name; }

std::string Line(const std::u16string& text, std::u16string_view label) {
    size_t at = text.find(label);
    if (at == std::u16string::npos) return "(no '" + ToUtf8(label) + "')";
    size_t end = text.find(u'\r', at);
    return ToUtf8(text.substr(at, end == std::u16string::npos ? std::u16string::npos : end - at));
}

// Equal line lists; on a difference, says where instead of printing 22826-byte lines.
void ExpectSameLines(const char* file, const std::vector<std::string>& sqlite,
                     const std::vector<std::string>& server) {
    EXPECT_EQ(server.size(), sqlite.size()) << file << ": number of lines";
    const size_t n = std::min(server.size(), sqlite.size());
    for (size_t i = 0; i < n; ++i) {
        if (server[i] == sqlite[i]) continue;
        const std::string& a = sqlite[i];
        const std::string& b = server[i];
        size_t column = 0;
        while (column < a.size() && column < b.size() && a[column] == b[column]) ++column;
        ADD_FAILURE() << file << ": sorted line " << i + 1 << " differs from column " << column + 1
                      << ": SQLite '" << a.substr(column, 40) << "', PostgreSQL '"
                      << b.substr(column, 40) << "'";
        return;
    }
}

void ExpectSameRun(const RunResult& sqlite, const RunResult& server) {
    EXPECT_EQ(server.outcome, sqlite.outcome);
    EXPECT_EQ(server.selectSql, sqlite.selectSql) << "select.sql";
    ASSERT_EQ(sqlite.boxes.size(), 2u);
    ASSERT_EQ(server.boxes.size(), 2u);
    EXPECT_EQ(ToUtf8(server.boxes[0].text), ToUtf8(sqlite.boxes[0].text)) << "confirmation";
    for (auto label : {u"Total consolidated records: ", u"Total abstract records: "}) {
        EXPECT_EQ(Line(server.boxes[1].text, label), Line(sqlite.boxes[1].text, label));
    }
    ExpectSameLines(ConsolidatedFileName, sqlite.consolidated, server.consolidated);
    ExpectSameLines(AbstractFileName, sqlite.abstracts, server.abstracts);
    ExpectSameLines(LogFileName, sqlite.log, server.log);
}

class PostgresExtractTest : public ::testing::TestWithParam<Variant> {};

TEST_P(PostgresExtractTest, SameQueryTotalsAndLinesAsSqlite) {
    MAE_SKIP_WITHOUT_SERVER();
    const Variant& v = GetParam();
    const test::GeneratedRegistry dir({.cases = v.cases, .seed = v.seed, .fullText = v.fullText});
    const std::string registry = dir.registry(), control = dir.control();
    const gen::RegistrySummary& summary = dir.summary();

    auto start = std::chrono::steady_clock::now();
    test::LoadIntoServer(registry);
    const double loadSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    struct Case {
        bool rerelease;
        const char* scanText;
        int consolidated;
        int abstracts;
    };
    const Case runs[] = {
        {false, "TEXT", summary.casesKept, summary.abstractsOfKeptCases},
        {true, "TEXT", summary.casesKeptReleasable, summary.abstractsOfKeptReleasableCases},
        {false, "ALL", summary.casesKept, summary.abstractsOfKeptCases},
    };
    for (const Case& c : runs) {
        SCOPED_TRACE(std::string("check box ") + (c.rerelease ? "ticked" : "clear") +
                     ", ScanText=" + c.scanText);
        RunResult sqlite, server;
        {
            ProgramRun run(test::SqliteConnection(registry), control, c.scanText);
            sqlite = run.Run(c.rerelease);
        }
        {
            ProgramRun run(test::PgConnectionString(), control, c.scanText);
            server = run.Run(c.rerelease);
        }
        ASSERT_EQ(sqlite.outcome, RunOutcome::Completed);
        // The SQLite run is the one the generator's summary describes.
        EXPECT_EQ(static_cast<int>(sqlite.consolidated.size()), c.consolidated);
        EXPECT_EQ(static_cast<int>(sqlite.abstracts.size()), c.abstracts);
        EXPECT_FALSE(sqlite.log.empty());  // the registry holds accented letters and euro signs
        ExpectSameRun(sqlite, server);
        std::printf(
            "[   timing ] %s, %d cases (%d selected), check box %s, ScanText=%s: %zu consolidated "
            "+ %zu "
            "abstract records, %zu log lines; SQLite %.3f s, PostgreSQL %.3f s "
            "(load %.2f s)\n",
            v.name, v.cases, summary.casesSelected, c.rerelease ? "ticked" : "clear", c.scanText,
            server.consolidated.size(), server.abstracts.size(), server.log.size(), sqlite.seconds,
            server.seconds, loadSeconds);
    }
}

// MedrefID columns holding real numbers: case 7 reads as its own whole number and goes through
// the prepared statements with 7 bound; case 12.5 is tested as 12 but its abstract query names
// 12.5 as written, so it gets the one abstract of 12.5, not the two of 12. Same lines on both.
TEST(PreparedStatements, BoundAndWrittenIdsGiveTheSameLinesOnBothEngines) {
    MAE_SKIP_WITHOUT_SERVER();
    test::TempDir dir, sqliteOut, serverOut;
    test::MiniRegistry registry(dir.file("registry.db"));
    registry.AddCase(7, "20110101", "C500", "8500", 3);
    registry.AddCase(12, "20110101", "C500", "8500", 3);
    for (int absref : {70, 71}) registry.AddAbstract(absref, 7, "1", "'00'");
    for (int absref : {120, 121, 125}) registry.AddAbstract(absref, 12, "1", "'00'");
    registry.Exec(
        "create table m (medrefid real, patientid integer, DxDate text);"
        "insert into m select * from medicalsum; drop table medicalsum;"
        "alter table m rename to medicalsum;"
        "create table m2 (medrefid real, PSite text, HistTypeICDO3 text, BehaviorICDO3 integer,"
        " grpsite2 text, grpsite3 text);"
        "insert into m2 select * from medicalsum_2; drop table medicalsum_2;"
        "alter table m2 rename to medicalsum_2;"
        "create table a (absrefid integer, medrefid real, PatientIdNumber text, DxDate text);"
        "insert into a select * from abstracts; drop table abstracts;"
        "alter table a rename to abstracts;"
        "update medicalsum set medrefid = 12.5 where medrefid = 12;"
        "update medicalsum_2 set medrefid = 12.5 where medrefid = 12;"
        "update abstracts set medrefid = 12.5 where absrefid = 125;");
    test::LoadIntoServer(registry.path());
    auto abstractIds = [&](const std::string& server, const std::string& folder) {
        test::MiniRun run(registry, folder);
        if (!server.empty()) {
            run.connection.SetConnectionString(FromUtf8(server));
            run.connection.Open();
        }
        test::RecordingUi ui;
        ui.rerelease = true;
        EXPECT_EQ(RunExtract(run.context, ui), RunOutcome::Completed);
        std::vector<std::string> ids;
        for (const std::string& line : test::SortedLines(folder + "/AbstractAuditExtract.txt")) {
            ids.push_back(line.substr(20878, 8));  // record id, columns 20879-20886
        }
        std::sort(ids.begin(), ids.end());
        return ids;
    };
    const std::vector<std::string> expected = {"12.5    ", "7       ", "7       "};
    EXPECT_EQ(abstractIds("", sqliteOut.path()), expected);
    EXPECT_EQ(abstractIds(test::PgConnectionString(), serverOut.path()), expected);
}

INSTANTIATE_TEST_SUITE_P(Registries, PostgresExtractTest,
                         ::testing::Values(Variant{"ShortText300", 300, 20110615, false},
                                           Variant{"FullText60", 60, 7, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace mae
