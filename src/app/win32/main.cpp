// The Windows edition's entry: common controls, the window, start-up, the message loop.
#include <windows.h>
// After <windows.h>, whose types it uses.
#include <commctrl.h>

#include "app/win32/ErrorReport.h"
#include "app/win32/Form1.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    try {
        mae::win32::Form1 window(instance);
        if (!window.Load()) return 1;
        window.Show(showCommand);
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            if (window.PreTranslate(message)) continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        return static_cast<int>(message.wParam);
    } catch (...) {
        mae::win32::ShowRunTimeError(std::current_exception(), nullptr);
        return 1;
    }
}
