// Drives meridane-audit-extract.exe through its own window, as a user would, and writes what
// it saw to a transcript (UTF-8):
//   window-driver <exe> <transcript> <step>...
// Steps, in order:
//   layout        record the window's caption, client size and each control's place and text
//   click         press "Run Extract" (BM_CLICK)
//   check         tick the re-release check box
//   box=ANSWER    wait for the next message box, record it, press ANSWER (yes, no or ok)
//   progress      record the progress bar's range and position
//   close         close the window
// At the end the driver waits for the program to end and records its exit status. Every wait is
// bounded: after WaitSeconds the program is ended and the driver fails.
#include <windows.h>
// After <windows.h>, whose types it uses.
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/WinText.h"

namespace {

constexpr DWORD WaitSeconds = 180;
constexpr int IdRerelease = 104;
constexpr int IdRun = 105;
constexpr int IdProgressBar = 106;
// The message text's control in a message box.
constexpr int MessageBoxTextId = 0xFFFF;

FILE* g_transcript = nullptr;
PROCESS_INFORMATION g_program{};

using mae::platform::win32::Utf8;

std::wstring TextOf(HWND window) {
    const int length = static_cast<int>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0));
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int got = static_cast<int>(
        SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data())));
    text.resize(static_cast<size_t>(got));
    return text;
}

void Record(const std::string& line) {
    std::fprintf(g_transcript, "%s\n", line.c_str());
    std::fflush(g_transcript);
}

[[noreturn]] void Fail(const std::string& why) {
    Record("driver failed: " + why);
    std::fprintf(stderr, "window-driver: %s\n", why.c_str());
    TerminateProcess(g_program.hProcess, 99);
    std::exit(2);
}

struct Search {
    const wchar_t* className;
    HWND found = nullptr;
};

// EnumWindows calls back by the system's convention (CALLBACK, stdcall on 32-bit Windows): a
// function of its own, not a lambda, whose conversion would give the compiler's default one.
BOOL CALLBACK MatchProgramWindow(HWND window, LPARAM data) {
    auto* s = reinterpret_cast<Search*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    if (process == g_program.dwProcessId && IsWindowVisible(window) &&
        std::wstring(name) == s->className) {
        s->found = window;
        return FALSE;
    }
    return TRUE;
}

// A visible top-level window of the program with the given class.
HWND FindProgramWindow(const wchar_t* className) {
    Search search{className};
    EnumWindows(MatchProgramWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

template <typename Found>
HWND WaitFor(const char* what, Found find) {
    const ULONGLONG end = GetTickCount64() + WaitSeconds * 1000ull;
    while (GetTickCount64() < end) {
        if (HWND window = find()) return window;
        if (WaitForSingleObject(g_program.hProcess, 50) == WAIT_OBJECT_0) return nullptr;
    }
    Fail(std::string("no ") + what + " within the time allowed");
}

std::string Rect(HWND control, HWND parent) {
    RECT box{};
    GetWindowRect(control, &box);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&box), 2);
    return std::to_string(box.left) + "," + std::to_string(box.top) + " " +
           std::to_string(box.right - box.left) + "x" + std::to_string(box.bottom - box.top);
}

// The icon control of a message box: the child that holds an icon.
HWND IconControl(HWND box) {
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (SendMessageW(child, STM_GETICON, 0, 0)) return child;
    }
    return nullptr;
}

// What the control shows on the screen. Icon handles belong to the process that loaded them,
// so icons are compared by their pixels.
std::vector<unsigned char> ScreenPixels(HWND control) {
    RECT box{};
    GetWindowRect(control, &box);
    const int width = box.right - box.left, height = box.bottom - box.top;
    if (width <= 0 || height <= 0) return {};
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    const HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, box.left, box.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = height;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 4);
    if (!GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(), &format,
                   DIB_RGB_COLORS)) {
        pixels.clear();
    }
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

struct KnownIcon {
    UINT flag;
    const char* name;
    std::vector<unsigned char> pixels;
};
std::vector<KnownIcon> g_icons;

// Shows a box of this driver's own with each of the system's icons and keeps what it looks like.
void LearnIcons() {
    g_icons = {{MB_ICONINFORMATION, "information", {}},
               {MB_ICONWARNING, "warning", {}},
               {MB_ICONERROR, "critical", {}},
               {MB_ICONQUESTION, "question", {}}};
    for (KnownIcon& icon : g_icons) {
        std::thread shower(
            [&icon] { MessageBoxW(nullptr, L"icon", L"window-driver icon", icon.flag); });
        const ULONGLONG end = GetTickCount64() + 10000;
        HWND box = nullptr;
        while (!box && GetTickCount64() < end) {
            Sleep(20);
            box = FindWindowW(L"#32770", L"window-driver icon");
        }
        if (box) {
            Sleep(200);  // painted
            if (HWND control = IconControl(box)) icon.pixels = ScreenPixels(control);
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
        shower.join();
    }
}

std::string IconOf(HWND box) {
    HWND control = IconControl(box);
    if (!control) return "none";
    const std::vector<unsigned char> shown = ScreenPixels(control);
    for (const KnownIcon& icon : g_icons) {
        if (!shown.empty() && shown == icon.pixels) return icon.name;
    }
    return "other";
}

// The box as the Linux reference writes it: its kind, then its text, then a line "--".
void RecordBox(HWND box) {
    std::string buttons;
    for (const auto& [id, name] : {std::pair{IDOK, "ok"}, {IDYES, "yes"}, {IDNO, "no"}}) {
        if (GetDlgItem(box, id)) buttons += buttons.empty() ? name : std::string(",") + name;
    }
    std::wstring text = TextOf(GetDlgItem(box, MessageBoxTextId));
    std::string lines;
    for (wchar_t c : text) {
        if (c != L'\r') lines += Utf8(std::wstring(1, c));
    }
    Record("box title=" + Utf8(TextOf(box)) + " icon=" + IconOf(box) + " buttons=" + buttons);
    Record(lines);
    Record("--");
}

void Press(HWND box, const std::string& answer) {
    const int id = answer == "yes" ? IDYES : answer == "no" ? IDNO : IDOK;
    HWND button = GetDlgItem(box, id);
    if (!button) Fail("the box has no button " + answer);
    PostMessageW(button, BM_CLICK, 0, 0);
    // The box is gone before the next step looks for one.
    const ULONGLONG end = GetTickCount64() + WaitSeconds * 1000ull;
    while (IsWindow(box) && IsWindowVisible(box)) {
        if (GetTickCount64() > end) Fail("the box did not close");
        Sleep(20);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: window-driver <exe> <transcript> <step>...\n");
        return 2;
    }
    g_transcript = _wfopen(argv[2], L"wb");
    if (!g_transcript) return 2;
    LearnIcons();

    std::wstring commandLine = L"\"" + std::wstring(argv[1]) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(argv[1], commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &g_program)) {
        Fail("cannot start the program");
    }

    HWND form = nullptr;
    for (int i = 3; i < argc; ++i) {
        const std::string step = Utf8(argv[i]);
        if (step.rfind("box=", 0) == 0) {
            HWND box = WaitFor("message box", [] { return FindProgramWindow(L"#32770"); });
            if (!box) Fail("the program ended before a message box");
            Sleep(200);  // painted, for its icon
            RecordBox(box);
            Press(box, step.substr(4));
            continue;
        }
        if (!form) {
            form =
                WaitFor("window", [] { return FindProgramWindow(L"MeridaneAuditExtractForm1"); });
            if (!form) Fail("the program ended before its window showed");
        }
        if (step == "layout") {
            RECT client{};
            GetClientRect(form, &client);
            Record("window caption=" + Utf8(TextOf(form)) +
                   " client=" + std::to_string(client.right) + "x" + std::to_string(client.bottom));
            // The focus of the window's thread, not of this one.
            GUITHREADINFO thread{};
            thread.cbSize = sizeof thread;
            GetGUIThreadInfo(GetWindowThreadProcessId(form, nullptr), &thread);
            for (HWND child = GetWindow(form, GW_CHILD); child;
                 child = GetWindow(child, GW_HWNDNEXT)) {
                wchar_t name[64] = {};
                GetClassNameW(child, name, 64);
                Record("control " + std::to_string(GetDlgCtrlID(child)) + " " + Utf8(name) + " " +
                       Rect(child, form) + (thread.hwndFocus == child ? " focus" : "") +
                       " text=" + Utf8(TextOf(child)));
            }
        } else if (step == "click") {
            PostMessageW(GetDlgItem(form, IdRun), BM_CLICK, 0, 0);
        } else if (step == "check") {
            SendMessageW(GetDlgItem(form, IdRerelease), BM_SETCHECK, BST_CHECKED, 0);
        } else if (step == "progress") {
            HWND bar = GetDlgItem(form, IdProgressBar);
            Record("progress " + std::to_string(SendMessageW(bar, PBM_GETRANGE, TRUE, 0)) + "-" +
                   std::to_string(SendMessageW(bar, PBM_GETRANGE, FALSE, 0)) + " at " +
                   std::to_string(SendMessageW(bar, PBM_GETPOS, 0, 0)));
        } else if (step == "close") {
            PostMessageW(form, WM_CLOSE, 0, 0);
        } else {
            Fail("unknown step " + step);
        }
    }
    if (WaitForSingleObject(g_program.hProcess, WaitSeconds * 1000) != WAIT_OBJECT_0)
        Fail("the program did not end");
    DWORD status = 0;
    GetExitCodeProcess(g_program.hProcess, &status);
    Record("exit " + std::to_string(status));
    std::fclose(g_transcript);
    return 0;
}
