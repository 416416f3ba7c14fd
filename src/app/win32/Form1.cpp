#include "app/win32/Form1.h"

#include <commctrl.h>

#include <bit>
#include <cstdint>
#include <string_view>

#include "app/win32/ErrorReport.h"
#include "app/win32/WideText.h"
#include "common/RuntimeError.h"
#include "common/Text.h"

namespace mae::win32 {

namespace {

constexpr wchar_t WindowClass[] = L"MeridaneAuditExtractForm1";

// Control ids; the window's controls are also found by them (GetDlgItem).
enum ControlId : int {
    IdLabel1 = 101,
    IdLabel2 = 102,
    IdLabel3 = 103,
    IdRerelease = 104,
    IdRun = 105,
    IdProgressBar = 106,
};

// 1440 twips to an inch: 15 twips a pixel at 96 dpi.
int Pixels(int twips, UINT dpi) { return MulDiv(twips, static_cast<int>(dpi), 1440); }

// The font the texts were laid out for, 8 points; smaller ones while the labels' texts do not
// fit their boxes, down to SmallestFontPoints.
constexpr int FontPoints = 8;

UINT WindowDpi(HWND window) {
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto getDpi = reinterpret_cast<GetDpiForWindowFunction>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpi && window) {
        if (const UINT dpi = getDpi(window)) return dpi;
    }
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

UINT MessageBoxFlags(MsgButtons buttons, MsgIcon icon) {
    UINT flags = buttons == MsgButtons::YesNo ? MB_YESNO : MB_OK;
    switch (icon) {
        case MsgIcon::Information:
            flags |= MB_ICONINFORMATION;
            break;
        case MsgIcon::Warning:
            flags |= MB_ICONWARNING;
            break;
        case MsgIcon::Critical:
            flags |= MB_ICONERROR;
            break;
        case MsgIcon::None:
            break;
    }
    return flags;
}

}  // namespace

Form1::Form1(HINSTANCE instance) : m_instance(instance) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = WindowClass;
    RegisterClassExW(&windowClass);

    const std::wstring caption = Wide(WindowCaption);
    // A fixed frame: the controls are placed for one client size.
    m_window = CreateWindowExW(WS_EX_CONTROLPARENT, WindowClass, caption.c_str(),
                               WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                               nullptr, instance, this);
    if (!m_window) {
        throw ErrorOf(err::OutOfMemory, "the window could not be made");
    }
    createControls();
    layOut(WindowDpi(m_window));
}

Form1::~Form1() {
    // The window goes first: a worker still sending to it then gets an answer at once.
    if (m_window) DestroyWindow(m_window);
    if (m_font) DeleteObject(m_font);
}

void Form1::createControls() {
    const auto make = [this](const wchar_t* type, std::u16string_view text, DWORD style, int id) {
        return CreateWindowExW(0, type, Wide(text).c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 0,
                               0, m_window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                               m_instance, nullptr);
    };
    // Created in tab order: the button first, so it has the focus when the window opens.
    cmdRun = make(WC_BUTTONW, RunText, WS_TABSTOP | BS_DEFPUSHBUTTON, IdRun);
    Label1 = make(WC_STATICW, Label1Text, SS_LEFT | SS_NOPREFIX, IdLabel1);
    Label2 = make(WC_STATICW, Label2Text, SS_LEFT | SS_NOPREFIX, IdLabel2);
    Label3 = make(WC_STATICW, Label3Text, SS_LEFT | SS_NOPREFIX, IdLabel3);
    ProgressBar1 = make(PROGRESS_CLASSW, u"", 0, IdProgressBar);
    chkRerelease = make(WC_BUTTONW, RereleaseText, WS_TABSTOP | BS_AUTOCHECKBOX, IdRerelease);

    SendMessageW(ProgressBar1, PBM_SETRANGE32, 0, m_progress.max());
    SendMessageW(ProgressBar1, PBM_SETPOS, static_cast<WPARAM>(m_progress.value()), 0);
    SendMessageW(chkRerelease, BM_SETCHECK, BST_UNCHECKED, 0);
}

void Form1::layOut(UINT dpi) {
    m_dpi = dpi;
    const auto place = [dpi](HWND control, const Twips& box) {
        SetWindowPos(control, nullptr, Pixels(box.left, dpi), Pixels(box.top, dpi),
                     Pixels(box.width, dpi), Pixels(box.height, dpi),
                     SWP_NOZORDER | SWP_NOACTIVATE);
    };
    place(Label1, Label1Box);
    place(Label2, Label2Box);
    place(Label3, Label3Box);
    place(chkRerelease, RereleaseBox);
    place(cmdRun, RunBox);
    place(ProgressBar1, ProgressBox);
    fitFontToLabels(dpi);

    RECT frame{0, 0, Pixels(ClientArea.width, dpi), Pixels(ClientArea.height, dpi)};
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(m_window, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(m_window, GWL_EXSTYLE));
    using AdjustForDpi = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi = reinterpret_cast<AdjustForDpi>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
    if (!adjustForDpi || !adjustForDpi(&frame, style, FALSE, exStyle, dpi))
        AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    SetWindowPos(m_window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The boxes are fixed by their twips, the font's look is the system's: a font that draws wider
// than the one the boxes were made for would cut the labels' last lines off.
void Form1::fitFontToLabels(UINT dpi) {
    const HDC dc = GetDC(m_window);
    HFONT chosen = nullptr;
    for (int tenths = FontPoints * 10; tenths >= SmallestFontPoints * 10 && !chosen; tenths -= 5) {
        const HFONT font =
            CreateFontW(-MulDiv(tenths, static_cast<int>(dpi), 720), 0, 0, 0, FW_NORMAL, FALSE,
                        FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                        CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Microsoft Sans Serif");
        if (!font) break;
        const HGDIOBJ old = SelectObject(dc, font);
        bool fits = true;
        for (HWND label : {Label1, Label2, Label3}) {
            RECT box{};
            GetClientRect(label, &box);
            RECT used = box;
            wchar_t text[1024] = {};
            GetWindowTextW(label, text, 1024);
            DrawTextW(dc, text, -1, &used, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
            if (used.bottom - used.top > box.bottom - box.top) fits = false;
        }
        SelectObject(dc, old);
        if (fits || tenths - 5 < SmallestFontPoints * 10) {
            chosen = font;
        } else {
            DeleteObject(font);
        }
    }
    ReleaseDC(m_window, dc);
    if (!chosen) return;
    for (HWND control : {Label1, Label2, Label3, chkRerelease, cmdRun})
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(chosen), TRUE);
    if (m_font) DeleteObject(m_font);
    m_font = chosen;
}

bool Form1::Load() {
    try {
        if (m_state.ApplicationFolder.empty()) m_state.ApplicationFolder = ApplicationFolder();
        Form_Load(m_state);
        if (!m_state.StartNote.empty()) {
            ShowMessage(FromUtf8(m_state.StartNote), MsgButtons::Ok, MsgIcon::Warning,
                        std::u16string(WindowCaption));
        }
        return true;
    } catch (...) {
        ShowRunTimeError(std::current_exception(), nullptr);
    }
    return false;
}

void Form1::Show(int showCommand) {
    ShowWindow(m_window, showCommand);
    UpdateWindow(m_window);
    SetFocus(cmdRun);
}

bool Form1::PreTranslate(MSG& message) { return m_window && IsDialogMessageW(m_window, &message); }

void Form1::RunExtract() {
    // A click that came while a run was going (BM_CLICK reaches a button even in a disabled
    // window), or after a run ended the program.
    if (m_running || m_ended) return;
    m_running = true;
    // The window takes no input until the run is over; it still paints and moves.
    EnableWindow(m_window, FALSE);
    try {
        m_run.Start(m_window, m_state.MakeExtractContext(), RereleaseChecked());
    } catch (...) {
        m_running = false;
        ShowRunTimeError(std::current_exception(), m_window);
        endProgram(1);
    }
}

void Form1::runEnded() {
    int status = -1;
    try {
        if (m_run.Finish() == RunOutcome::Aborted) status = 1;
    } catch (...) {
        ShowRunTimeError(std::current_exception(), m_window);
        status = 1;
    }
    SendMessageW(ProgressBar1, PBM_SETPOS, static_cast<WPARAM>(m_progress.value()), 0);
    m_running = false;
    if (status >= 0) {
        endProgram(status);
        return;
    }
    if (m_closeRequested) {
        DestroyWindow(m_window);
        return;
    }
    EnableWindow(m_window, TRUE);
    SetFocus(cmdRun);
}

void Form1::endProgram(int status) {
    // Nothing more reaches the window on the way out.
    m_ended = true;
    DestroyWindow(m_window);
    m_window = nullptr;
    PostQuitMessage(status);
}

MsgAnswer Form1::ShowMessage(const std::u16string& text, MsgButtons buttons, MsgIcon icon,
                             const std::u16string& title) {
    const std::wstring wideText = Wide(text);
    const std::wstring wideTitle = Wide(title.empty() ? std::u16string(ProgramName) : title);
    const int pressed =
        MessageBoxW(m_window, wideText.c_str(), wideTitle.c_str(), MessageBoxFlags(buttons, icon));
    // The box gives its owner back its input when it closes; during a run it must stay without.
    if (m_running) EnableWindow(m_window, FALSE);
    if (buttons == MsgButtons::Ok) return MsgAnswer::Ok;
    return pressed == IDYES ? MsgAnswer::Yes : MsgAnswer::No;
}

void Form1::SetProgressMax(float max) {
    m_progress.SetMax(max);
    SendMessageW(ProgressBar1, PBM_SETRANGE32, 0, m_progress.max());
    SendMessageW(ProgressBar1, PBM_SETPOS, static_cast<WPARAM>(m_progress.value()), 0);
}

void Form1::SetProgressValue(float value) {
    m_progress.SetValue(value);
    SendMessageW(ProgressBar1, PBM_SETPOS, static_cast<WPARAM>(m_progress.value()), 0);
}

bool Form1::RereleaseChecked() {
    return SendMessageW(chkRerelease, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

LRESULT CALLBACK Form1::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* form = static_cast<Form1*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        form->m_window = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<Form1*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!form) return DefWindowProcW(window, message, wParam, lParam);
    return form->HandleMessage(window, message, wParam, lParam);
}

LRESULT Form1::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (LOWORD(wParam) == IdRun && HIWORD(wParam) == BN_CLICKED) RunExtract();
            return 0;
        case DM_GETDEFID:
            return MAKELRESULT(IdRun, DC_HASDEFID);
        case WM_CTLCOLORSTATIC: {
            const HDC dc = reinterpret_cast<HDC>(wParam);
            SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
            SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        case WM_DPICHANGED: {
            const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(window, nullptr, suggested->left, suggested->top,
                         suggested->right - suggested->left, suggested->bottom - suggested->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            layOut(HIWORD(wParam));
            return 0;
        }
        case RunMessageBox: {
            auto* request = reinterpret_cast<MessageRequest*>(lParam);
            request->answer =
                ShowMessage(request->text, request->buttons, request->icon, request->title);
            return 0;
        }
        case RunProgressMax:
            SetProgressMax(*reinterpret_cast<const float*>(lParam));
            return 0;
        case RunProgressValue:
            SetProgressValue(std::bit_cast<float>(static_cast<uint32_t>(wParam)));
            return 0;
        case RunEnded:
            runEnded();
            return 0;
        case WM_CLOSE:
            // A run is never left half done: a close that comes during it waits until it is over.
            if (m_running) {
                m_closeRequested = true;
                return 0;
            }
            DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            if (!m_ended) PostQuitMessage(0);
            m_window = nullptr;
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace mae::win32
