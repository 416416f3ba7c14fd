// extract-bench: the whole extraction, headless, on a synthetic registry, against floors
// measured in the same process on the same data:
//   engine floor  the same rows read through the engine's own C library (SQLite, or libpq for
//                 PostgreSQL): each per-case statement prepared once, one read transaction, every
//                 column of every row read as text; what the engine itself needs;
//   ODBC-text floor  the same statements through ODBC, each sent as new text, every row and
//                 column fetched, nothing written (kept for comparison);
//   write floor   the same number of record lines written to the same folder through one
//                 buffered stream.
// The last line is "ratio = extract / (engine floor + write floor)".

#include <malloc.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>
#ifdef MAE_BENCH_POSTGRES
#include <libpq-fe.h>

#include "server/PgLoad.h"
#endif

#include "app/startup/Startup.h"
#include "common/RuntimeError.h"
#include "common/Text.h"
#include "db/Recordset.h"
#include "db/Value.h"
#include "extract/CaseSelection.h"
#include "extract/Exclusions.h"
#include "extract/ExtractRun.h"
#include "extract/RunUi.h"
#include "generator/RegistryGenerator.h"
#include "output/RecordFormat.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double Seconds(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Heap bytes in use now (resident memory stays high after frees, so it cannot tell).
double HeapInUseMiB() { return static_cast<double>(mallinfo2().uordblks) / 1048576.0; }

double PeakRssMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// Answers Yes, ticks the non-release check box, ignores progress.
class HeadlessUi : public mae::RunUi {
  public:
    mae::MsgAnswer ShowMessage(const std::u16string& text, mae::MsgButtons buttons, mae::MsgIcon,
                               const std::u16string&) override {
        last = text;
        return buttons == mae::MsgButtons::YesNo ? mae::MsgAnswer::Yes : mae::MsgAnswer::Ok;
    }
    void SetProgressMax(float) override {}
    void SetProgressValue(float) override {}
    bool RereleaseChecked() override { return true; }
    std::u16string last;
};

struct QueryFloor {
    double snapshotMiB = 0;  // resident memory taken by the case rows
    long cases = 0;
    long records = 0;
    double seconds = 0;
};

// The run's statements in the run's order, fetching everything, writing nothing.
QueryFloor RunQueryFloor(mae::AppState& state) {
    QueryFloor floor;
    auto start = Clock::now();
    mae::Connection& registry = state.RegistryConnection;
    mae::Recordset cases;
    double before = HeapInUseMiB();
    cases.Open(mae::CaseQuery(state.ConsolidatedSelectList), registry, mae::CursorType::Static);
    floor.snapshotMiB = HeapInUseMiB() - before;
    mae::Recordset abstracts;
    while (!cases.Eof()) {
        ++floor.cases;
        int32_t id = mae::ToInt32(cases.Field(u"MedrefID"));
        if (!mae::IsDeathCertificateOnly(registry, id) && mae::IsReleasable(registry, true, id)) {
            ++floor.records;
            abstracts.Open(mae::AbstractQuery(state.AbstractSelectList,
                                              mae::DirectText(cases.Field(u"MedrefID"))),
                           registry, mae::CursorType::Static);
            while (!abstracts.Eof()) {
                ++floor.records;
                abstracts.MoveNext();
            }
            abstracts.Close();
        }
        cases.MoveNext();
    }
    floor.seconds = Seconds(start);
    return floor;
}

// The run's decisions from the engine's own rows: a case is kept when some abstract has a
// TypeRepSrc other than 6 and 7 (Null rows do not count) and the release count is at least 1.
struct EngineCase {
    bool anyOther = false;
    double releaseCount = 0;
};

double SqliteEngineFloor(const std::string& registryPath, const mae::AppState& state,
                         long& records) {
    auto start = Clock::now();
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(registryPath.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        throw std::runtime_error("engine floor: cannot open " + registryPath);
    }
    auto prepare = [&](const std::u16string& text) {
        sqlite3_stmt* s = nullptr;
        const std::string utf8 = mae::ToUtf8(text);
        if (sqlite3_prepare_v2(db, utf8.c_str(), -1, &s, nullptr) != SQLITE_OK) {
            throw std::runtime_error("engine floor: " + std::string(sqlite3_errmsg(db)));
        }
        return s;
    };
    size_t sink = 0;
    // Steps through every row, reading every column as UTF-16 text; calls row() on each.
    auto readAll = [&](sqlite3_stmt* s, auto&& row) {
        const int n = sqlite3_column_count(s);
        while (sqlite3_step(s) == SQLITE_ROW) {
            for (int c = 0; c < n; ++c) {
                sqlite3_column_text16(s, c);
                sink += static_cast<size_t>(sqlite3_column_bytes16(s, c));
            }
            row(s);
        }
        sqlite3_reset(s);
    };
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* caseQuery = prepare(mae::CaseQuery(state.ConsolidatedSelectList));
    sqlite3_stmt* death = prepare(mae::DeathCertificateQuery());
    sqlite3_stmt* release = prepare(mae::ReleaseQuery());
    sqlite3_stmt* abstract = prepare(mae::AbstractQuery(state.AbstractSelectList, u"?"));
    std::vector<int> ids;
    int idColumn = -1;
    for (int c = 0; c < sqlite3_column_count(caseQuery); ++c) {
        if (mae::EqualsIgnoreCase(mae::FromUtf8(sqlite3_column_name(caseQuery, c)), u"medrefid")) {
            idColumn = c;
        }
    }
    readAll(caseQuery, [&](sqlite3_stmt* s) { ids.push_back(sqlite3_column_int(s, idColumn)); });
    records = 0;
    for (int id : ids) {
        EngineCase k;
        sqlite3_bind_int(death, 1, id);
        readAll(death, [&](sqlite3_stmt* s) {
            if (sqlite3_column_type(s, 0) == SQLITE_NULL) return;
            double code = sqlite3_column_double(s, 0);
            if (code != 6 && code != 7) k.anyOther = true;
        });
        if (!k.anyOther) continue;
        sqlite3_bind_int(release, 1, id);
        readAll(release, [&](sqlite3_stmt* s) { k.releaseCount = sqlite3_column_double(s, 0); });
        if (k.releaseCount < 1) continue;
        ++records;
        sqlite3_bind_int(abstract, 1, id);
        readAll(abstract, [&](sqlite3_stmt*) { ++records; });
    }
    for (sqlite3_stmt* s : {caseQuery, death, release, abstract}) sqlite3_finalize(s);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    if (sink == 0) throw std::runtime_error("engine floor: read nothing");
    return Seconds(start);
}

#ifdef MAE_BENCH_POSTGRES
double PostgresEngineFloor(const std::string& conninfo, const mae::AppState& state, long& records) {
    auto start = Clock::now();
    PGconn* pg = PQconnectdb(conninfo.c_str());
    if (PQstatus(pg) != CONNECTION_OK) {
        std::string message = PQerrorMessage(pg);
        PQfinish(pg);
        throw std::runtime_error("engine floor: " + message);
    }
    auto check = [&](PGresult* r, ExecStatusType wanted) {
        if (PQresultStatus(r) != wanted) {
            std::string message = PQerrorMessage(pg);
            PQclear(r);
            PQfinish(pg);
            throw std::runtime_error("engine floor: " + message);
        }
        return r;
    };
    // libpq numbers its parameters $1; the statements are otherwise the run's own.
    auto prepare = [&](const char* name, std::u16string text) {
        std::string utf8 = mae::ToUtf8(text);
        if (size_t at = utf8.rfind('?'); at != std::string::npos) utf8.replace(at, 1, "$1");
        PQclear(check(PQprepare(pg, name, utf8.c_str(), 1, nullptr), PGRES_COMMAND_OK));
    };
    size_t sink = 0;
    auto run = [&](const char* name, int id) {
        std::string value = std::to_string(id);
        const char* values[1] = {value.c_str()};
        PGresult* r =
            check(PQexecPrepared(pg, name, 1, values, nullptr, nullptr, 0), PGRES_TUPLES_OK);
        for (int row = 0; row < PQntuples(r); ++row) {
            for (int c = 0; c < PQnfields(r); ++c) {
                sink += mae::FromUtf8(PQgetvalue(r, row, c)).size();
            }
        }
        return r;
    };
    PQclear(check(PQexec(pg, "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"), PGRES_COMMAND_OK));
    PGresult* cases =
        check(PQexec(pg, mae::ToUtf8(mae::CaseQuery(state.ConsolidatedSelectList)).c_str()),
              PGRES_TUPLES_OK);
    prepare("death", mae::DeathCertificateQuery());
    prepare("release", mae::ReleaseQuery());
    prepare("abstract", mae::AbstractQuery(state.AbstractSelectList, u"?"));
    const int idColumn = PQfnumber(cases, "medrefid");
    records = 0;
    for (int row = 0; row < PQntuples(cases); ++row) {
        for (int c = 0; c < PQnfields(cases); ++c) {
            sink += mae::FromUtf8(PQgetvalue(cases, row, c)).size();
        }
        const int id = std::atoi(PQgetvalue(cases, row, idColumn));
        bool anyOther = false;
        PGresult* r = run("death", id);
        for (int i = 0; i < PQntuples(r); ++i) {
            if (PQgetisnull(r, i, 0)) continue;
            double code = std::atof(PQgetvalue(r, i, 0));
            if (code != 6 && code != 7) anyOther = true;
        }
        PQclear(r);
        if (!anyOther) continue;
        r = run("release", id);
        const bool releasable = std::atof(PQgetvalue(r, 0, 0)) >= 1;
        PQclear(r);
        if (!releasable) continue;
        r = run("abstract", id);
        records += 1 + PQntuples(r);
        PQclear(r);
    }
    PQclear(cases);
    PQclear(check(PQexec(pg, "COMMIT"), PGRES_COMMAND_OK));
    PQfinish(pg);
    if (sink == 0) throw std::runtime_error("engine floor: read nothing");
    return Seconds(start);
}
#endif

double RunWriteFloor(const std::string& folder, long lines) {
    auto start = Clock::now();
    std::string line(mae::RecordLength, 'x');
    line += "\r\n";
    std::string path = folder + "/write-floor.txt";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot write " + path);
    static char buffer[1 << 20];
    std::setvbuf(f, buffer, _IOFBF, sizeof buffer);
    for (long i = 0; i < lines; ++i) {
        if (std::fwrite(line.data(), 1, line.size(), f) != line.size()) {
            throw std::runtime_error("write floor: disk refused a line");
        }
    }
    std::fclose(f);
    double s = Seconds(start);
    fs::remove(path);
    return s;
}

void Usage() {
    std::fprintf(
        stderr,
        "usage: extract-bench [--cases N] [--seed S] [--dir DIR] [--keep] [--reuse]\n"
        "                     [--engine sqlite|postgresql]\n"
        "  --cases N  selected cases wanted (default 10000), ~2.5 abstracts each, full text\n"
        "  --dir DIR  work folder (default: a new folder under the temp folder)\n"
        "  --reuse    use the registry already in DIR (from a run with --keep)\n"
        "  --engine   where the registry is read: sqlite (default), or postgresql: the generated\n"
        "             registry is loaded, with its keys and indexes, into the server named by\n"
        "             MAE_PG_CONNECTION (an ODBC connection string; scripts/pg-server.sh)\n");
}

}  // namespace

int main(int argc, char** argv) {
    // The program's libraries (with libpq's, more than the window links) before any work.
    const double startRss = PeakRssMiB();
    long wanted = 10000;
    unsigned seed = 1;
    std::string dir;
    bool keep = false;
    bool reuse = false;
    std::string engine = "sqlite";
    for (int i = 1; i < argc; ++i) {
        std::string_view a = argv[i];
        if (a == "--cases" && i + 1 < argc) {
            wanted = std::atol(argv[++i]);
        } else if (a == "--seed" && i + 1 < argc) {
            seed = static_cast<unsigned>(std::atol(argv[++i]));
        } else if (a == "--dir" && i + 1 < argc) {
            dir = argv[++i];
        } else if (a == "--keep") {
            keep = true;
        } else if (a == "--reuse") {
            reuse = true;
        } else if (a == "--engine" && i + 1 < argc) {
            engine = argv[++i];
        } else {
            Usage();
            return 2;
        }
    }
    const char* pgConnection = std::getenv("MAE_PG_CONNECTION");
#ifndef MAE_BENCH_POSTGRES
    if (engine == "postgresql") {
        std::fprintf(stderr, "extract-bench: built without PostgreSQL (libpq) support\n");
        return 2;
    }
#endif
    if (engine == "postgresql" && (!pgConnection || !*pgConnection)) {
        std::fprintf(stderr, "extract-bench: --engine postgresql needs MAE_PG_CONNECTION\n");
        return 2;
    }
    if (wanted <= 0 || (engine != "sqlite" && engine != "postgresql") || (reuse && dir.empty())) {
        Usage();
        return 2;
    }
    bool madeDir = dir.empty();
    if (madeDir) {
        std::string tmpl = (fs::temp_directory_path() / "extract-bench-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) return 1;
        dir = tmpl;
    }
    fs::create_directories(dir + "/out");

    try {
        // The registry is generated in a child process, so that its memory does not count.
        mae::gen::RegistryOptions options;
        options.seed = seed;
        options.fullText = true;
        options.abstractsPerCase = 2.5;
        // Most generated cases are selected; ask for enough of them to select about `wanted`.
        options.cases = static_cast<int>(wanted / 0.6) + 40;
        auto genStart = Clock::now();
        const bool generate = !(reuse && fs::exists(dir + "/registry.db"));
        pid_t child = generate ? fork() : -1;
        if (child == 0) {
            try {
                auto s = mae::gen::WriteRegistryDatabase(dir + "/registry.db", options);
                mae::gen::WriteControlDatabase(dir + "/control.db");
                mae::gen::WriteIni(dir, dir + "/control.db", dir + "/registry.db");
                std::printf("generated       %d cases, %d selected, %d abstracts\n", s.casesTotal,
                            s.casesSelected, s.abstractsTotal);
                std::fflush(stdout);
                _exit(0);
            } catch (const std::exception& e) {
                std::fprintf(stderr, "extract-bench: %s\n", e.what());
                _exit(1);
            }
        }
        if (generate) {
            int status = 0;
            waitpid(child, &status, 0);
            if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return 1;
            std::printf("generation      %.1f s\n", Seconds(genStart));
        } else {
            mae::gen::WriteIni(dir, dir + "/control.db", dir + "/registry.db");
        }
#ifdef MAE_BENCH_POSTGRES
        std::string conninfo;
        if (engine == "postgresql") {
            conninfo = mae::pgload::LibpqConnInfo(pgConnection);
            auto loadStart = Clock::now();
            auto loaded = mae::pgload::LoadSqliteIntoPostgres(dir + "/registry.db", conninfo);
            std::printf("loaded          %d tables, %lld rows, %d indexes in %.1f s\n",
                        loaded.tables, loaded.rows, loaded.indexes, Seconds(loadStart));
            // The same ini, the registry read from the server.
            std::ofstream ini(dir + "/Meridane.ini", std::ios::binary | std::ios::trunc);
            ini << "[Databases]\r\nControl=Driver=SQLite3;Database=" << dir
                << "/control.db\r\nRegistry=" << pgConnection
                << "\r\n\r\n[Options]\r\nScanText=TEXT\r\n";
        }
#endif

        setenv("WINDIR", dir.c_str(), 1);
        mae::AppState state;
        state.ApplicationFolder = dir + "/out";
        auto t0 = Clock::now();
        mae::Form_Load(state);
        double startup = Seconds(t0);

        RunQueryFloor(state);  // warms the page cache for all timed passes
        // The engine floor runs in a child process, so that its memory does not count either.
        long engineRecords = 0;
        double engineFloor = 0;
        double engineCpu = 0;
        {
            int fds[2];
            if (pipe(fds) != 0) throw std::runtime_error("pipe");
            pid_t floorChild = fork();
            if (floorChild == 0) {
                close(fds[0]);
                double figures[3] = {0, 0, 0};
                try {
                    long records = 0;
                    double c = CpuSeconds();
#ifdef MAE_BENCH_POSTGRES
                    if (engine == "postgresql") {
                        figures[0] = PostgresEngineFloor(conninfo, state, records);
                    }
#endif
                    if (engine == "sqlite") {
                        figures[0] = SqliteEngineFloor(dir + "/registry.db", state, records);
                    }
                    figures[1] = CpuSeconds() - c;
                    figures[2] = static_cast<double>(records);
                } catch (const std::exception& e) {
                    std::fprintf(stderr, "extract-bench: %s\n", e.what());
                    _exit(1);
                }
                if (write(fds[1], figures, sizeof figures) != sizeof figures) _exit(1);
                _exit(0);
            }
            close(fds[1]);
            double figures[3] = {0, 0, 0};
            const bool read = ::read(fds[0], figures, sizeof figures) == sizeof figures;
            close(fds[0]);
            int status = 0;
            waitpid(floorChild, &status, 0);
            if (!read || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return 1;
            engineFloor = figures[0];
            engineCpu = figures[1];
            engineRecords = static_cast<long>(figures[2]);
        }
        double c0 = CpuSeconds();
        QueryFloor query = RunQueryFloor(state);
        double queryCpu = CpuSeconds() - c0;

        HeadlessUi ui;
        auto t1 = Clock::now();
        auto outcome = mae::RunExtract(state.MakeExtractContext(), ui);
        double extract = Seconds(t1);
        double extractCpu = CpuSeconds() - c0 - queryCpu;
        if (outcome != mae::RunOutcome::Completed) {
            std::fprintf(stderr, "extract-bench: the run did not complete\n");
            return 1;
        }
        double rss = PeakRssMiB();
        double c2 = CpuSeconds();
        double write = RunWriteFloor(dir + "/out", query.records);
        double writeCpu = CpuSeconds() - c2;

        long long bytes =
            static_cast<long long>(fs::file_size(dir + "/out/ConsolidatedAuditExtract.txt") +
                                   fs::file_size(dir + "/out/AbstractAuditExtract.txt"));
        // Every pass must have seen the same records, and the files hold them whole.
        const long long lineBytes = static_cast<long long>(mae::RecordLength) + 2;
        if (engineRecords != query.records || bytes != lineBytes * query.records) {
            std::fprintf(stderr,
                         "extract-bench: passes disagree: engine floor %ld records, ODBC-text "
                         "floor %ld, files %lld bytes\n",
                         engineRecords, query.records, bytes);
            return 1;
        }
        double mb = static_cast<double>(bytes) / 1e6;
        std::printf(
            "\n| engine | cases | records | bytes written | wall time | CPU | cases/s | MB/s | "
            "peak RSS | engine floor | ODBC-text floor | write floor | start-up | ratio |\n");
        std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
        std::printf(
            "| %s | %ld | %ld | %lld | %.2f s | %.2f s | %.0f | %.0f | %.1f MiB | %.2f s | %.2f s "
            "| %.2f s | %.1f ms | %.2f |\n",
            engine.c_str(), query.cases, query.records, bytes, extract, extractCpu,
            static_cast<double>(query.cases) / extract, mb / extract, rss, engineFloor,
            query.seconds, write, startup * 1000, extract / (engineFloor + write));
        std::printf(
            "case snapshot: %.1f MiB; peak RSS less the snapshot: %.1f MiB; at start %.1f MiB\n",
            query.snapshotMiB, rss - query.snapshotMiB, startRss);
        std::printf(
            "cpu: extract %.2f s, engine floor %.2f s, ODBC-text floor %.2f s, write floor "
            "%.2f s\n",
            extractCpu, engineCpu, queryCpu, writeCpu);
        std::printf("against the ODBC-text floor: %.3f\n", extract / (query.seconds + write));
        std::printf("ratio = %.3f\n", extract / (engineFloor + write));
    } catch (const mae::RuntimeError& e) {
        std::fprintf(stderr, "extract-bench: run-time error %d: %s\n", e.number(), e.what());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "extract-bench: %s\n", e.what());
        return 1;
    }
    if (!keep && madeDir) fs::remove_all(dir);
    return 0;
}
