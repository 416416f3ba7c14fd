// Faults of the database server: the server going away in the middle of a run, a statement
// that waits past the query timeout, and connection strings with a wrong password, host or port.
// Each ends in a clear run-time error (a DbError), the output files hold only whole lines, and no
// message shows a password.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "common/Text.h"
#include "db/Connection.h"
#include "db/DbError.h"
#include "db/Recordset.h"
#include "server/PgTestSupport.h"
#include "support/GeneratedRegistry.h"

namespace mae {
namespace {

using Clock = std::chrono::steady_clock;

constexpr long long LineBytes = 22826;  // 22824 characters and CR LF

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

long long FileSize(const std::string& path) {
    return static_cast<long long>(test::ReadFileBytes(path).size());
}

// A port on 127.0.0.1 that nothing listens on (the kernel's pick, released again).
int UnusedPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t length = sizeof addr;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
        if (fd >= 0) ::close(fd);
        return 1;
    }
    ::close(fd);
    return ntohs(addr.sin_port);
}

class ServerFaultTest : public ::testing::Test {
  protected:
    void SetUp() override {
        MAE_SKIP_WITHOUT_SERVER();
        m_server = test::PgConnectionString();
        test::LoadIntoServer(Registry());
    }
    std::string Registry() const { return m_dir.registry(); }
    std::string Control() const { return m_dir.control(); }

    // Start-up with this registry connection string; the error it ends with.
    RuntimeError StartupError(const std::string& registry, double& seconds) {
        test::ProgramRun run(registry, Control());
        const auto start = Clock::now();
        try {
            run.Run(false);
        } catch (const RuntimeError& e) {
            seconds = SecondsSince(start);
            return e;
        }
        seconds = SecondsSince(start);
        ADD_FAILURE() << "start-up and the run succeeded";
        return RuntimeError(0, "");
    }

    // Neither the wrong nor the real password, nor the connection string's PWD key, shows.
    void ExpectNoPassword(const std::string& description, const std::string& wrongPassword) const {
        const std::string password = test::KeyValue(m_server, "PWD");
        ASSERT_FALSE(password.empty());
        EXPECT_EQ(description.find(password), std::string::npos) << description;
        if (!wrongPassword.empty()) {
            EXPECT_EQ(description.find(wrongPassword), std::string::npos) << description;
        }
        EXPECT_EQ(description.find("PWD="), std::string::npos) << description;
    }

    test::GeneratedRegistry m_dir{{.cases = 60, .seed = 3}};
    std::string m_server;
};

// The window's stand-in that pulls the server away once the third case is done.
class StoppingUi : public test::RecordingUi {
  public:
    void SetProgressValue(float value) override {
        RecordingUi::SetProgressValue(value);
        if (value == 3 && haltStatus < 0) haltStatus = test::PgServerScript("halt");
    }
    int haltStatus = -1;
};

TEST_F(ServerFaultTest, ServerStoppedInTheMiddleOfARunIsARunTimeErrorAndLeavesWholeLines) {
    if (!test::CanControlServer()) {
        GTEST_SKIP() << "MAE_PG_ENV_FILE is not set: this test cannot stop and restart the server";
    }
    // What the files would hold had the server stayed up.
    test::RunResult whole;
    {
        test::ProgramRun reference("Driver=SQLite3;Database=" + Registry(), Control());
        whole = reference.Run(false);
    }
    ASSERT_GT(whole.consolidated.size(), 5u);

    struct Restart {
        ~Restart() { EXPECT_EQ(test::PgServerScript("start"), 0) << "the server did not restart"; }
    } restart;
    test::ProgramRun run(m_server, Control());
    StoppingUi ui;
    std::string description;
    const auto start = Clock::now();
    try {
        run.Run(false, &ui);
        ADD_FAILURE() << "the run ended normally with the server stopped";
    } catch (const DbError& e) {
        description = e.description();
        EXPECT_EQ(e.number(), err::Provider);
        EXPECT_FALSE(e.sqlState().empty());
        EXPECT_EQ(e.call(), "SQLExecute");  // the next case's prepared test
        EXPECT_NE(description.find("SQLSTATE " + e.sqlState()), std::string::npos);
        std::printf("[    fault ] server stopped after case 3: %s\n", description.c_str());
    } catch (const RuntimeError& e) {
        ADD_FAILURE() << "not a database error: " << e.number() << " " << e.description();
    }
    EXPECT_LT(SecondsSince(start), 30);
    EXPECT_EQ(ui.haltStatus, 0);
    ExpectNoPassword(description, "");
    // The confirmation was shown, then no completion: the error ended the run after case 3.
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(ui.progressValues.back(), 3);

    // Both files hold whole records only, each one a record the full run writes.
    for (const char* name : {ConsolidatedFileName, AbstractFileName}) {
        SCOPED_TRACE(name);
        const long long size = FileSize(run.folder() + "/" + name);
        EXPECT_EQ(size % LineBytes, 0) << size;
        const auto& reference =
            std::string(name) == ConsolidatedFileName ? whole.consolidated : whole.abstracts;
        for (const std::string& line : test::SortedLines(run.folder() + "/" + name)) {
            EXPECT_TRUE(std::binary_search(reference.begin(), reference.end(), line));
        }
    }
    const size_t written = test::SortedLines(run.folder() + "/" + ConsolidatedFileName).size();
    EXPECT_LE(written, 3u);
    std::printf("[    fault ] kept %zu consolidated and %zu abstract records of %zu and %zu\n",
                written, test::SortedLines(run.folder() + "/" + AbstractFileName).size(),
                whole.consolidated.size(), whole.abstracts.size());
}

TEST_F(ServerFaultTest, AStatementWaitingPastTheQueryTimeoutFails) {
    // Another session holds the abstracts table, so every statement that reads it waits.
    test::PgSession locker(m_server);
    locker.Exec("begin");
    locker.Exec("lock table abstracts in access exclusive mode");

    Connection c;
    c.SetConnectionString(FromUtf8(m_server));
    c.SetCommandTimeout(2);  // the program's 120 s, shortened for the test
    c.Open();
    Recordset rs;
    auto start = Clock::now();
    try {
        rs.Open(u"select count(*) from abstracts", c);
        ADD_FAILURE() << "the statement did not wait";
    } catch (const RuntimeError& e) {
        // The driver's own timeout, reported as on every engine.
        EXPECT_EQ(e.number(), err::QueryTimeout) << e.what();
        EXPECT_TRUE(std::string(e.what()).find("SQLSTATE 57014") != std::string::npos ||
                    std::string(e.what()).find("SQLSTATE HYT00") != std::string::npos)
            << e.what();
        std::printf("[    fault ] timeout: %s\n", e.what());
    }
    double seconds = SecondsSince(start);
    EXPECT_GE(seconds, 1.5);
    EXPECT_LT(seconds, 10);
    // The connection is still usable once the statement has been cancelled.
    rs.Open(u"select count(*) from patients", c);
    EXPECT_GT(ToDouble(rs.Field(0)), 0);
    rs.Close();

    // The whole run: the case query does not read abstracts, the first exclusion test does.
    test::ProgramRun run(m_server, Control());
    start = Clock::now();
    try {
        run.Run(false, nullptr, 2);
        ADD_FAILURE() << "the run did not wait";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), err::QueryTimeout) << e.what();
    }
    seconds = SecondsSince(start);
    EXPECT_LT(seconds, 10);
    for (const char* name : {ConsolidatedFileName, AbstractFileName}) {
        EXPECT_EQ(FileSize(run.folder() + "/" + name) % LineBytes, 0) << name;
    }
    locker.Exec("rollback");
}

TEST_F(ServerFaultTest, AWrongPasswordIsAClearErrorThatDoesNotShowIt) {
    const std::string wrong = "Wr0ng-Passw0rd-4417";
    double seconds = 0;
    RuntimeError e = StartupError(test::WithKey(m_server, "PWD", wrong), seconds);
    const std::string d = e.description();
    std::printf("[    fault ] wrong password: %s\n", d.c_str());
    EXPECT_EQ(e.number(), err::Provider);
    EXPECT_EQ(d.rfind("Opening the registry database: ", 0), 0u) << d;
    EXPECT_NE(d.find("password authentication failed"), std::string::npos) << d;
    EXPECT_NE(d.find("SQLSTATE 08"), std::string::npos) << d;
    ExpectNoPassword(d, wrong);
    EXPECT_LT(seconds, 10);
}

TEST_F(ServerFaultTest, AWrongHostOrPortIsAClearErrorThatDoesNotShowThePassword) {
    const std::string port = std::to_string(UnusedPort());
    for (const std::string& registry :
         {test::WithKey(m_server, "Port", port), test::WithKey(m_server, "Server", "127.0.0.2")}) {
        SCOPED_TRACE(test::WithKey(registry, "PWD", "***"));
        double seconds = 0;
        RuntimeError e = StartupError(registry, seconds);
        const std::string d = e.description();
        std::printf("[    fault ] wrong host or port: %s\n", d.c_str());
        EXPECT_EQ(e.number(), err::Provider);
        EXPECT_EQ(d.rfind("Opening the registry database: ", 0), 0u) << d;
        EXPECT_NE(d.find("Connection refused"), std::string::npos) << d;
        EXPECT_NE(d.find("SQLSTATE 08"), std::string::npos) << d;
        ExpectNoPassword(d, "");
        EXPECT_LT(seconds, 10);
    }
}

}  // namespace
}  // namespace mae
