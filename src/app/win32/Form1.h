#pragma once

#include <windows.h>

#include <string>

#include "app/startup/Startup.h"
#include "app/startup/WindowFacts.h"
#include "app/win32/RunThread.h"
#include "extract/RunUi.h"

namespace mae::win32 {

// The program's one window in native Win32: what the program does, the re-release option, the
// "Run Extract" button and the progress bar, placed by their twips at the monitor's DPI. It owns
// the state that start-up builds and every run reads, and is the run's window (message boxes,
// progress, the check box).
class Form1 : public RunUi {
  public:
    explicit Form1(HINSTANCE instance);
    ~Form1() override;
    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;

    // The start-up sequence, before the window is shown. On failure shows the run-time error
    // report and gives false: the program must then end with status 1.
    bool Load();
    void Show(int showCommand);
    HWND handle() const noexcept { return m_window; }
    // Whether the message goes to the window's controls as a dialog's would (Tab, Enter).
    bool PreTranslate(MSG& message);

    MsgAnswer ShowMessage(const std::u16string& text, MsgButtons buttons, MsgIcon icon,
                          const std::u16string& title) override;
    void SetProgressMax(float max) override;
    void SetProgressValue(float value) override;
    bool RereleaseChecked() override;

  private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void createControls();
    void layOut(UINT dpi);
    void fitFontToLabels(UINT dpi);
    void RunExtract();
    void runEnded();
    void endProgram(int status);

    HINSTANCE m_instance;
    HWND m_window = nullptr;
    HWND Label1 = nullptr;
    HWND Label2 = nullptr;
    HWND Label3 = nullptr;
    HWND chkRerelease = nullptr;
    HWND cmdRun = nullptr;
    HWND ProgressBar1 = nullptr;
    HFONT m_font = nullptr;
    UINT m_dpi = 96;

    AppState m_state;
    RunThread m_run;
    bool m_running = false;
    bool m_ended = false;           // a run ended the program; nothing more may start
    bool m_closeRequested = false;  // the window was asked to close during a run
    ProgressPosition m_progress;
};

}  // namespace mae::win32
