#include "platform/win32/SystemLibrary.h"

#include <atomic>

#include "platform/win32/WinText.h"

namespace mae::platform::win32 {

namespace {

std::atomic<bool> g_restricted{false};

// The system folder's full path of name; "" when the system does not say where it is.
std::wstring SystemPath(const wchar_t* name) {
    wchar_t folder[MAX_PATH + 1] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    std::wstring path(folder, length);
    if (path.back() != L'\\') path += L'\\';
    return path + name;
}

}  // namespace

bool RestrictDllSearch() noexcept {
    using SetDirectories = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const auto setDirectories =
        kernel ? EntryPoint<SetDirectories>(kernel, "SetDefaultDllDirectories") : nullptr;
    const bool restricted =
        setDirectories != nullptr && setDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
    SetDllDirectoryW(L"");
    g_restricted = restricted;
    return restricted;
}

HMODULE LoadSystemLibrary(const wchar_t* name, std::string& failure) {
    const std::wstring path = SystemPath(name);
    HMODULE module = nullptr;
    DWORD error = ERROR_PATH_NOT_FOUND;
    if (g_restricted) {
        module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        error = GetLastError();
    } else if (!path.empty()) {
        module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        error = GetLastError();
    }
    if (module) return module;
    const std::string reason = SystemMessage(error);
    failure = Utf8(path.empty() ? std::wstring(name) : path) + " (" +
              (reason.empty() ? "error " + std::to_string(error) : reason) + ")";
    return nullptr;
}

}  // namespace mae::platform::win32
