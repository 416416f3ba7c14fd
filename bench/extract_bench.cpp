// extract-bench: the whole extraction, headless, on a synthetic registry, against two floors
// measured in the same process on the same data:
//   query floor  the same statements in the same order, every row and column fetched, nothing
//                written;
//   write floor  the same number of record lines written to the same folder through one buffered
//                stream.
// The last line is "ratio = extract / (query floor + write floor)".

#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "app/startup/Startup.h"
#include "common/RuntimeError.h"
#include "db/Recordset.h"
#include "db/Value.h"
#include "extract/CaseSelection.h"
#include "extract/ExclusionTests.h"
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
        "usage: extract-bench [--cases N] [--seed S] [--dir DIR] [--keep]\n"
        "  --cases N  selected cases wanted (default 10000), ~2.5 abstracts each, full text\n"
        "  --dir DIR  work folder (default: a new folder under the temp folder)\n");
}

}  // namespace

int main(int argc, char** argv) {
    long wanted = 10000;
    unsigned seed = 1;
    std::string dir;
    bool keep = false;
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
        } else {
            Usage();
            return 2;
        }
    }
    if (wanted <= 0) {
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
        pid_t child = fork();
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
        int status = 0;
        waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return 1;
        std::printf("generation      %.1f s\n", Seconds(genStart));

        setenv("WINDIR", dir.c_str(), 1);
        mae::AppState state;
        state.ApplicationFolder = dir + "/out";
        auto t0 = Clock::now();
        mae::Form_Load(state);
        double startup = Seconds(t0);

        RunQueryFloor(state);  // warms the page cache for all three timed passes
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
        double mb = static_cast<double>(bytes) / 1e6;
        std::printf(
            "\n| cases | records | bytes written | wall time | cases/s | MB/s | peak RSS | "
            "query floor | write floor | start-up |\n");
        std::printf("|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
        std::printf(
            "| %ld | %ld | %lld | %.2f s | %.0f | %.0f | %.1f MiB | %.2f s | %.2f s | %.1f ms |\n",
            query.cases, query.records, bytes, extract, static_cast<double>(query.cases) / extract,
            mb / extract, rss, query.seconds, write, startup * 1000);
        std::printf("case snapshot: %.1f MiB; peak RSS less the snapshot: %.1f MiB\n",
                    query.snapshotMiB, rss - query.snapshotMiB);
        std::printf("cpu: extract %.2f s, query floor %.2f s, write floor %.2f s\n", extractCpu,
                    queryCpu, writeCpu);
        std::printf("ratio = %.3f\n", extract / (query.seconds + write));
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
