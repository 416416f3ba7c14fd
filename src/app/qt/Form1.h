#pragma once

#include <QWidget>
#include <functional>

#include "app/startup/Startup.h"
#include "app/startup/WindowFacts.h"
#include "extract/RunUi.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace mae {

// The program's one window: what the program does, the re-release option, the "Run Extract"
// button and the progress bar. It owns the state that start-up builds and every run reads, and
// is the run's window (message boxes, progress, the check box).
class Form1 : public QWidget, public RunUi {
    Q_OBJECT

  public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    // The start-up sequence, before the window is shown. On failure shows the run-time error
    // report and gives false: the program must then end with status 1.
    bool Load();

    // How a run that failed or was aborted ends the program; the default leaves the event loop
    // with that status (or exits at once when no loop runs). Tests replace it.
    static std::function<void(int status)> ExitHook;

    bool IsRunning() const noexcept { return m_running; }
    // The state start-up builds. ApplicationFolder, when set before Load, is kept (tests send
    // the output files elsewhere); otherwise it is the executable's folder.
    AppState& State() noexcept { return m_state; }

    MsgAnswer ShowMessage(const std::u16string& text, MsgButtons buttons, MsgIcon icon,
                          const std::u16string& title) override;
    void SetProgressMax(float max) override;
    void SetProgressValue(float value) override;
    bool RereleaseChecked() override;

  public slots:
    // The click on cmdRun: one whole extract run.
    void RunExtract();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void createControls();
    void connectSignals();
    void fitFontToLabels();

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QCheckBox* chkRerelease = nullptr;
    QPushButton* cmdRun = nullptr;
    QProgressBar* ProgressBar1 = nullptr;

    AppState m_state;
    bool m_running = false;
    bool m_ended = false;  // a run ended the program; nothing more may start
    ProgressPosition m_progress;
};

}  // namespace mae
