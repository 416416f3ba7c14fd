// The Windows edition's entry: DLLs from the system folder only, common controls, the window,
// start-up, the message loop.
#include <windows.h>
// After <windows.h>, whose types it uses.
#include <commctrl.h>

#include <string>

#include "app/win32/ErrorReport.h"
#include "app/win32/Form1.h"
#include "common/RuntimeError.h"
#include "platform/win32/SystemLibrary.h"

namespace {

// DLLs that comctl32 and odbc32 load by name when they need them (themes, the desktop compositor,
// sounds, file versions), loaded from the system folder first: a later load by name finds the one
// already loaded and never a file of the program's folder, also where the search could not be
// restricted, or where a loader resolves delayed imports by the old search order.
void PreloadDependencies() {
    for (const wchar_t* name : {L"version.dll", L"uxtheme.dll", L"dwmapi.dll", L"winmm.dll"}) {
        std::string ignored;  // one that is missing is simply not used
        mae::platform::win32::LoadSystemLibrary(name, ignored);
    }
}

// comctl32 (version 6, by the manifest's dependency) loaded from the system folder, not imported,
// and its standard controls and progress bar registered.
void LoadCommonControls() {
    using Init = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    std::string failure;
    HMODULE comctl = mae::platform::win32::LoadSystemLibrary(L"comctl32.dll", failure);
    const auto init =
        comctl ? mae::platform::win32::EntryPoint<Init>(comctl, "InitCommonControlsEx") : nullptr;
    if (!init) {
        throw mae::ErrorOf(mae::err::DllLoad,
                           "the common controls of Windows cannot be used: " +
                               (comctl ? std::string("comctl32.dll has no InitCommonControlsEx")
                                       : "could not load " + failure) +
                               ". Ask IT to repair Windows, then start the program again.");
    }
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    init(&controls);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    // Before any DLL is loaded: the program's folder, which users may write to, is never searched.
    mae::platform::win32::RestrictDllSearch();
    try {
        PreloadDependencies();
        LoadCommonControls();
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
