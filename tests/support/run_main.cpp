// One start-up and one confirmed run in a process of its own, for tests that kill a run part way
// or start two at once. Meridane.ini is read from $WINDIR as by the program.
//
//   mae-test-run <folder | --exe-folder> [--hold-at N | --answer-no]
//
// The output folder is the given one, or with --exe-folder the folder of this executable.
// Prints one line per event on stdout: "box <text>" (line breaks as "|"), "progress <n>", "held"
// when the run reaches case N (it then waits for a line on stdin), and at the end "outcome <n>"
// (exit status 0) or "error <number> <description>" (exit status 1).

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "app/startup/Startup.h"
#include "common/RuntimeError.h"
#include "common/Text.h"
#include "extract/ExtractRun.h"
#include "extract/RunUi.h"

namespace {

class PrintingUi : public mae::RunUi {
  public:
    PrintingUi(long holdAt, bool answerNo) : m_holdAt(holdAt), m_answerNo(answerNo) {}

    mae::MsgAnswer ShowMessage(const std::u16string& text, mae::MsgButtons buttons, mae::MsgIcon,
                               const std::u16string&) override {
        std::string line = mae::ToUtf8(text);
        for (char& c : line) {
            if (c == '\n') c = '|';
        }
        std::erase(line, '\r');
        Say("box " + line);
        if (buttons != mae::MsgButtons::YesNo) return mae::MsgAnswer::Ok;
        return m_answerNo ? mae::MsgAnswer::No : mae::MsgAnswer::Yes;
    }
    void SetProgressMax(float) override {}
    void SetProgressValue(float value) override {
        Say("progress " + std::to_string(static_cast<long>(value)));
        if (static_cast<long>(value) == m_holdAt) {
            Say("held");
            std::string ignored;
            std::getline(std::cin, ignored);
        }
    }
    bool RereleaseChecked() override { return false; }

    static void Say(const std::string& line) {
        std::fputs((line + "\n").c_str(), stdout);
        std::fflush(stdout);
    }

  private:
    long m_holdAt;
    bool m_answerNo;
};

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fputs("usage: mae-test-run <folder | --exe-folder> [--hold-at N | --answer-no]\n",
                   stderr);
        return 2;
    }
    const long holdAt =
        argc >= 4 && std::strcmp(argv[2], "--hold-at") == 0 ? std::atol(argv[3]) : -1;
    const bool answerNo = argc >= 3 && std::strcmp(argv[2], "--answer-no") == 0;
    try {
        mae::AppState state;
        state.ApplicationFolder = std::strcmp(argv[1], "--exe-folder") == 0
                                      ? mae::ApplicationFolder()
                                      : std::string(argv[1]);
        mae::Form_Load(state);
        PrintingUi ui(holdAt, answerNo);
        // What the window shows once start-up is done.
        if (!state.StartNote.empty()) {
            ui.ShowMessage(mae::FromUtf8(state.StartNote), mae::MsgButtons::Ok,
                           mae::MsgIcon::Warning, u"");
        }
        const mae::RunOutcome outcome = mae::RunExtract(state.MakeExtractContext(), ui);
        PrintingUi::Say("outcome " + std::to_string(static_cast<int>(outcome)));
        return 0;
    } catch (const mae::RuntimeError& e) {
        PrintingUi::Say("error " + std::to_string(e.number()) + " " + e.description());
        return 1;
    }
}
