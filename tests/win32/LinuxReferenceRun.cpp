// The Linux edition's side of the end-to-end comparison with the Windows edition: start-up and
// one whole run on the same registry, headless, answering Yes to the confirmation. It writes its
// four files into the output folder and a transcript in the form the Windows window driver
// writes (each message box's kind, its text and "--"; the progress bar; the exit status):
//   mae-reference-run <output-folder> <transcript> [rerelease]
// Meridane.ini is read from $WINDIR, as the Linux edition does.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>

#include "app/startup/Startup.h"
#include "app/startup/WindowFacts.h"
#include "common/RuntimeError.h"
#include "common/Text.h"
#include "extract/ExtractRun.h"
#include "extract/RunUi.h"

namespace {

const char* IconName(mae::MsgIcon icon) {
    switch (icon) {
        case mae::MsgIcon::Information:
            return "information";
        case mae::MsgIcon::Warning:
            return "warning";
        case mae::MsgIcon::Critical:
            return "critical";
        case mae::MsgIcon::None:
            break;
    }
    return "none";
}

class TranscriptUi : public mae::RunUi {
  public:
    TranscriptUi(FILE* out, bool rerelease) : m_out(out), m_rerelease(rerelease) {}

    mae::MsgAnswer ShowMessage(const std::u16string& text, mae::MsgButtons buttons,
                               mae::MsgIcon icon, const std::u16string& title) override {
        const bool yesNo = buttons == mae::MsgButtons::YesNo;
        std::string body = mae::ToUtf8(text);
        body.erase(std::remove(body.begin(), body.end(), '\r'), body.end());
        const std::u16string shownTitle = title.empty() ? std::u16string(mae::ProgramName) : title;
        std::fprintf(m_out, "box title=%s icon=%s buttons=%s\n%s\n--\n",
                     mae::ToUtf8(shownTitle).c_str(), IconName(icon), yesNo ? "yes,no" : "ok",
                     body.c_str());
        return yesNo ? mae::MsgAnswer::Yes : mae::MsgAnswer::Ok;
    }
    void SetProgressMax(float max) override { m_max = std::max(static_cast<long>(max), 1L); }
    void SetProgressValue(float value) override { m_value = static_cast<long>(value); }
    bool RereleaseChecked() override { return m_rerelease; }

    long max() const { return m_max; }
    long value() const { return m_value; }

  private:
    FILE* m_out;
    bool m_rerelease;
    long m_max = 100;
    long m_value = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: mae-reference-run <output-folder> <transcript> [rerelease]\n");
        return 2;
    }
    FILE* out = std::fopen(argv[2], "wb");
    if (!out) return 2;
    TranscriptUi ui(out, argc > 3 && std::string(argv[3]) == "rerelease");
    int status = 0;
    try {
        mae::AppState state;
        state.ApplicationFolder = argv[1];
        mae::Form_Load(state);
        if (mae::RunExtract(state.MakeExtractContext(), ui) == mae::RunOutcome::Aborted) status = 1;
    } catch (const mae::RuntimeError& e) {
        std::fprintf(out, "box title=%s icon=critical buttons=ok\n%s\n--\n",
                     mae::ToUtf8(mae::ProgramName).c_str(),
                     mae::RunTimeErrorText(e.number(), e.what()).c_str());
        status = 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mae-reference-run: %s\n", e.what());
        return 2;
    }
    if (status == 0) std::fprintf(out, "progress 0-%ld at %ld\n", ui.max(), ui.value());
    std::fprintf(out, "exit %d\n", status);
    std::fclose(out);
    return 0;
}
