#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "app/startup/ProfileReader.h"
#include "app/startup/Startup.h"
#include "common/Text.h"
#include "db/Connection.h"
#include "db/Recordset.h"
#include "db/Value.h"
#include "extract/CaseSelection.h"
#include "extract/Exclusions.h"
#include "extract/ExtractRun.h"
#include "generator/RegistryGenerator.h"
#include "layout/ItemLists.h"
#include "support/MiniRegistry.h"
#include "support/TestDb.h"

namespace mae {
namespace {

using gen::RegistryOptions;
using gen::RegistrySummary;
using test::ReadFileBytes;
using test::SqliteConnectionString;
using test::TempDir;

constexpr size_t LineBytes = 22824 + 2;

// Points WINDIR at a folder for the life of the object.
class WindowsFolderAt {
  public:
    explicit WindowsFolderAt(const std::string& folder) {
        if (const char* old = std::getenv("WINDIR")) m_old = old;
        setenv("WINDIR", folder.c_str(), 1);
    }
    ~WindowsFolderAt() {
        if (m_old.empty()) {
            unsetenv("WINDIR");
        } else {
            setenv("WINDIR", m_old.c_str(), 1);
        }
    }

  private:
    std::string m_old;
};

// A generated registry, control database and Meridane.ini in a temporary folder.
struct Generated {
    explicit Generated(const RegistryOptions& options) {
        summary = gen::WriteRegistryDatabase(registry, options);
        gen::WriteControlDatabase(control);
        gen::WriteIni(dir.path(), control, registry);
    }
    TempDir dir;
    std::string registry = dir.file("registry.db");
    std::string control = dir.file("control.db");
    RegistrySummary summary;
};

void Open(Connection& connection, const std::string& path) {
    connection.SetConnectionString(SqliteConnectionString(path));
    connection.Open();
}

long Count(Connection& connection, std::u16string_view sql) {
    Recordset rs;
    rs.Open(sql, connection);
    return static_cast<long>(ToDouble(rs.Field(0)));
}

TEST(RegistryGenerator, SameSeedGivesTheSameFiles) {
    TempDir dir;
    RegistryOptions options;
    options.cases = 150;
    options.seed = 7;
    RegistrySummary a = gen::WriteRegistryDatabase(dir.file("a.db"), options);
    RegistrySummary b = gen::WriteRegistryDatabase(dir.file("b.db"), options);
    EXPECT_EQ(ReadFileBytes(dir.file("a.db")), ReadFileBytes(dir.file("b.db")));
    EXPECT_EQ(a.casesSelected, b.casesSelected);
    EXPECT_EQ(a.abstractsOfKeptCases, b.abstractsOfKeptCases);

    options.seed = 8;
    gen::WriteRegistryDatabase(dir.file("c.db"), options);
    EXPECT_NE(ReadFileBytes(dir.file("a.db")), ReadFileBytes(dir.file("c.db")));

    options.fullText = true;
    options.cases = 30;
    gen::WriteRegistryDatabase(dir.file("d.db"), options);
    gen::WriteRegistryDatabase(dir.file("e.db"), options);
    EXPECT_EQ(ReadFileBytes(dir.file("d.db")), ReadFileBytes(dir.file("e.db")));

    gen::WriteControlDatabase(dir.file("c1.db"));
    gen::WriteControlDatabase(dir.file("c2.db"));
    EXPECT_EQ(ReadFileBytes(dir.file("c1.db")), ReadFileBytes(dir.file("c2.db")));
}

TEST(RegistryGenerator, SmallRegistryHoldsEveryKindOfCase) {
    TempDir dir;
    RegistrySummary s = gen::WriteRegistryDatabase(dir.file("r.db"), {});
    EXPECT_EQ(s.casesTotal, 60);
    for (int group = 0; group < 7; ++group) {
        EXPECT_GE(s.selectedPerGroup[static_cast<size_t>(group)], 1) << "group " << group + 1;
    }
    EXPECT_LT(s.casesSelected, s.casesTotal);
    EXPECT_GE(s.casesDeathCertOnly, 3);
    EXPECT_GE(s.casesNonReleasable, 2);
    EXPECT_GT(s.abstractsWithNonAscii, 0);
    EXPECT_EQ(s.casesKept, s.casesSelected - s.casesDeathCertOnly);
    EXPECT_EQ(s.casesKeptReleasable, s.casesKept - s.casesNonReleasable);
    EXPECT_GE(s.abstractsOfKeptCases, s.casesKept);  // every kept case has an abstract
    EXPECT_LT(s.abstractsOfKeptReleasableCases, s.abstractsOfKeptCases);
}

TEST(RegistryGenerator, ControlDatabaseServesStartUp) {
    Generated g({});
    Connection control;
    Open(control, g.control);
    EXPECT_EQ(Count(control, u"select count(*) from naaccr13layout"), 83);
    EXPECT_EQ(Count(control, u"select count(*) from naaccr13layout where Prompting='X'"), 17);
    EXPECT_EQ(Count(control,
                    u"select count(*) from naaccr13layout where Prompting='X' and "
                    u"naaccr_item_no between 2520 and 2680 and naaccr_item_no % 10 = 0"),
              17);
    EXPECT_EQ(Count(control, u"select count(*) from naaccrparameters where [current]=-1"), 1);
    {
        Recordset rs;
        rs.Open(u"select * from naaccr13layout where naaccr_item_no=2600", control);
        EXPECT_EQ(ToInt16(rs.Field(u"ColumnStart")), 11765);  // Text--Staging
        EXPECT_EQ(ToInt16(rs.Field(u"FieldLength")), 1000);
        rs.Open(u"select * from naaccr13layout where naaccr_item_no=20", control);
        EXPECT_EQ(DirectText(rs.Field(u"FieldName")), u"PatientIdNumber");
        EXPECT_EQ(DirectText(rs.Field(u"Prompting")), u"");
    }

    // The whole start-up through Meridane.ini, as the program runs it.
    WindowsFolderAt windir(g.dir.path());
    AppState state;
    Form_Load(state);
    EXPECT_EQ(state.NaaccrVersion, u"130");
    EXPECT_EQ(state.ScanTextMode, u"TEXT");
    ASSERT_EQ(state.ConsolidatedLayout.size(), ConsolidatedItemCount);
    ASSERT_EQ(state.AbstractLayout.size(), AbstractItemCount);
    for (const Layout* layout : {&state.ConsolidatedLayout, &state.AbstractLayout}) {
        for (const ItemLayout& entry : *layout) {
            EXPECT_FALSE(entry.FieldName.empty()) << ToUtf8(entry.ItemNumber) << " has no row";
            EXPECT_GT(entry.ColumnStart, 0);
        }
    }
    EXPECT_TRUE(state.ConsolidatedSelectList.starts_with(
        u"Medicalsum.medrefid, Patients.PatientIdNumber, sex, "));
    EXPECT_TRUE(state.AbstractSelectList.starts_with(u"medrefid, PatientIdNumber, sex, "));
    EXPECT_EQ(state.AbstractSelectList.find(u"textRemarks"), std::u16string::npos);
}

// The generator's own reading of the criteria must match what the case query selects, at the
// edges the random draws may miss.
TEST(RegistryGenerator, SelectionGroupMatchesTheCaseQueryAtTheEdges) {
    struct Edge {
        const char* dxDate;
        int behavior;
        const char* site;
        const char* hist;
        int group;
    };
    const Edge edges[] = {
        {"20110101", 3, "C540", "8800", 7}, {"20110101", 3, "C559", "8800", 0},
        {"20110101", 3, "C549", "9999", 7}, {"20110101", 2, "C559", "8951", 7},
        {"20110101", 3, "C260", "8000", 2}, {"20110101", 3, "C260", "8153", 0},
        {"20110101", 3, "C260", "8242", 0}, {"20110101", 3, "C260", "8246", 0},
        {"20110101", 3, "C260", "8249", 0}, {"20110101", 3, "C189", "8981", 2},
        {"20110101", 3, "C509", "9020", 1}, {"20110101", 3, "C500", "9021", 0},
        {"20110101", 3, "C510", "8500", 0}, {"20110101", 3, "C340", "9020", 0},
        {"20110101", 3, "C619", "8120", 0}, {"20110101", 3, "C619", "8140", 6},
        {"20110101", 3, "C619", "8110", 6}, {"20110101", 3, "C199", "8153", 0},
        {"20110101", 3, "C199", "8250", 3}, {"20110101", 3, "C209", "8248", 4},
        {"20110101", 3, "C209", "8246", 0}, {"20110101", 3, "C349", "8576", 5},
        {"20110101", 3, "C349", "8577", 0}, {"20101231", 3, "C500", "8500", 0},
        {"20120101", 3, "C500", "8500", 0}, {"2011    ", 3, "C500", "8500", 1},
        {"20110101", 1, "C500", "8500", 0}, {"20110101", 2, "C500", "8500", 1},
    };
    TempDir dir;
    test::MiniRegistry registry(dir.file("r.db"));
    for (size_t i = 0; i < std::size(edges); ++i) {
        const Edge& e = edges[i];
        registry.AddCase(static_cast<int>(i) + 1, e.dxDate, e.site, e.hist, e.behavior);
    }
    Connection connection;
    Open(connection, registry.path());
    Recordset cases;
    cases.Open(CaseQuery(test::MiniRegistry::ConsolidatedSelectList()), connection,
               CursorType::Static);
    std::vector<bool> selected(std::size(edges));
    for (; !cases.Eof(); cases.MoveNext()) selected.at(ToInt32(cases.Field(0)) - 1) = true;
    for (size_t i = 0; i < std::size(edges); ++i) {
        const Edge& e = edges[i];
        SCOPED_TRACE(std::string(e.dxDate) + " " + e.site + " " + e.hist);
        EXPECT_EQ(gen::SelectionGroup(e.dxDate, e.behavior, e.site, e.hist), e.group);
        EXPECT_EQ(selected[i], e.group != 0);
    }
    EXPECT_EQ(gen::SelectionGroup("20110101", std::nullopt, "C500", "8500"), 0);
    EXPECT_EQ(gen::SelectionGroup("", 3, "C500", "8500"), 0);
}

// The program's own statements on the generated registry: the case query (every unqualified
// name must be unambiguous), the two tests and the abstract query agree with the summary.
TEST(RegistryGenerator, ProgramQueriesAgreeWithTheSummary) {
    for (uint32_t seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        RegistryOptions options;
        options.cases = 700;
        options.seed = seed;
        Generated g(options);
        WindowsFolderAt windir(g.dir.path());
        AppState state;
        Form_Load(state);
        Connection& registry = state.RegistryConnection;

        Recordset cases;
        cases.Open(CaseQuery(state.ConsolidatedSelectList), registry, CursorType::Static);
        EXPECT_EQ(cases.RecordCount(), g.summary.casesSelected);

        int deathCertOnly = 0, nonReleasable = 0, abstracts = 0, releasableAbstracts = 0;
        Recordset abstractRows;
        for (; !cases.Eof(); cases.MoveNext()) {
            int32_t medrefId = ToInt32(cases.Field(u"MedrefID"));
            if (IsDeathCertificateOnly(registry, medrefId)) {
                ++deathCertOnly;
                continue;
            }
            bool releasable = IsReleasable(registry, true, medrefId);
            nonReleasable += !releasable;
            abstractRows.Open(AbstractQuery(state.AbstractSelectList, DecimalText(medrefId)),
                              registry, CursorType::Static);
            ASSERT_GT(abstractRows.RecordCount(), 0) << "kept case " << medrefId;
            abstracts += static_cast<int>(abstractRows.RecordCount());
            if (releasable) releasableAbstracts += static_cast<int>(abstractRows.RecordCount());
            for (; !abstractRows.Eof(); abstractRows.MoveNext()) {
                std::u16string remarks = DirectText(abstractRows.Field(u"remarks"));
                EXPECT_EQ(std::count(remarks.begin(), remarks.end(), u'\x02'), 16);
            }
        }
        EXPECT_EQ(deathCertOnly, g.summary.casesDeathCertOnly);
        EXPECT_EQ(nonReleasable, g.summary.casesNonReleasable);
        EXPECT_EQ(abstracts, g.summary.abstractsOfKeptCases);
        EXPECT_EQ(releasableAbstracts, g.summary.abstractsOfKeptReleasableCases);
    }
}

// The demo's use: a whole run, answered Yes, with the check box in both states.
TEST(RegistryGenerator, ExtractRunWritesWhatTheSummarySays) {
    Generated g({});
    WindowsFolderAt windir(g.dir.path());
    AppState state;
    Form_Load(state);
    state.ApplicationFolder = g.dir.path();
    ExtractContext context = state.MakeExtractContext();
    for (bool rerelease : {false, true}) {
        SCOPED_TRACE(rerelease);
        test::RecordingUi ui;
        ui.rerelease = rerelease;
        ASSERT_EQ(RunExtract(context, ui), RunOutcome::Completed);
        ASSERT_EQ(ui.boxes.size(), 2u);
        EXPECT_TRUE(ui.boxes[0].text.starts_with(DecimalText(g.summary.casesSelected) +
                                                 u" consolidated records were selected. "));
        int kept = rerelease ? g.summary.casesKeptReleasable : g.summary.casesKept;
        int abstracts =
            rerelease ? g.summary.abstractsOfKeptReleasableCases : g.summary.abstractsOfKeptCases;
        EXPECT_EQ(ReadFileBytes(g.dir.file(ConsolidatedFileName)).size(),
                  static_cast<size_t>(kept) * LineBytes);
        EXPECT_EQ(ReadFileBytes(g.dir.file(AbstractFileName)).size(),
                  static_cast<size_t>(abstracts) * LineBytes);
        // Accented remarks are scrubbed under TEXT and logged.
        EXPECT_FALSE(ReadFileBytes(g.dir.file(LogFileName)).empty());
    }
}

TEST(RegistryGenerator, FullTextFillsEveryTextItem) {
    RegistryOptions options;
    options.cases = 25;
    options.fullText = true;
    Generated g(options);
    Connection registry;
    Open(registry, g.registry);
    Recordset rs;
    rs.Open(u"select remarks from abstracts_2", registry, CursorType::Static);
    ASSERT_GT(rs.RecordCount(), 0);
    bool euro = false;
    for (; !rs.Eof(); rs.MoveNext()) {
        std::u16string remarks = DirectText(rs.Field(0));
        euro = euro || remarks.find(u'\u20AC') != std::u16string::npos;
        std::vector<size_t> lengths;
        size_t start = 0;
        size_t end = remarks.find(u'\x02');
        for (; end != std::u16string::npos; start = end + 1, end = remarks.find(u'\x02', start)) {
            lengths.push_back(end - start);
        }
        lengths.push_back(remarks.size() - start);
        ASSERT_EQ(lengths.size(), 17u);
        for (size_t i = 0; i < lengths.size(); ++i) {
            // Items 2580 and 2590 (positions 6 and 7) are 100 long, the others 1000.
            EXPECT_EQ(lengths[i], i == 6 || i == 7 ? 100u : 1000u) << "piece " << i;
        }
    }
    EXPECT_TRUE(euro);
}

TEST(RegistryGenerator, EmptyRegistryAndBadArguments) {
    TempDir dir;
    RegistryOptions options;
    options.cases = 0;
    RegistrySummary s = gen::WriteRegistryDatabase(dir.file("r.db"), options);
    EXPECT_EQ(s.casesSelected, 0);
    EXPECT_EQ(s.abstractsTotal, 0);
    Connection registry;
    Open(registry, dir.file("r.db"));
    EXPECT_EQ(Count(registry, u"select count(*) from abstracts, abstracts_2, abstracts_3"), 0);

    for (double perCase : {0.5, 1001.0, std::nan("")}) {
        options.abstractsPerCase = perCase;
        EXPECT_THROW(gen::WriteRegistryDatabase(dir.file("r.db"), options), std::invalid_argument);
    }
    options = {};
    options.cases = -1;
    EXPECT_THROW(gen::WriteRegistryDatabase(dir.file("r.db"), options), std::invalid_argument);
    EXPECT_THROW(gen::WriteControlDatabase(dir.file("c.db"), dir.file("missing.csv")),
                 std::runtime_error);
    EXPECT_THROW(
        gen::WriteControlDatabase(dir.file("c.db"), gen::DefaultLayoutCsvPath(), "bad name"),
        std::invalid_argument);
    EXPECT_THROW(gen::WriteIni(dir.path(), dir.file("a;b.db"), dir.file("r.db")),
                 std::invalid_argument);
    EXPECT_THROW(gen::WriteIni(dir.path(), dir.file(std::string(240, 'x')), dir.file("r.db")),
                 std::invalid_argument);
}

TEST(RegistryGenerator, IniHasCrLfLinesAndAbsolutePaths) {
    TempDir dir;
    gen::WriteIni(dir.path(), dir.file("control.db"), dir.file("sub/../registry.db"), "ALL");
    std::string expected = "[Databases]\r\nControl=Driver=SQLite3;Database=" + dir.path() +
                           "/control.db\r\nRegistry=Driver=SQLite3;Database=" + dir.path() +
                           "/registry.db\r\n\r\n[Options]\r\nScanText=ALL\r\n";
    EXPECT_EQ(ReadFileBytes(dir.file("Meridane.ini")), expected);
    EXPECT_EQ(ReadProfileStringAt(dir.file("Meridane.ini"), u"Options", u"ScanText", u"", 250),
              u"ALL");
}

}  // namespace
}  // namespace mae
