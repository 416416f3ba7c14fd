#pragma once

// DLLs from the system folder only. The program's folder is one its users may write to (the
// output files go there), and Windows looks there first for any DLL that is not a KnownDLL: so
// the program imports KnownDLLs alone and loads every other DLL it needs through these, after
// RestrictDllSearch.
#include <windows.h>

#include <string>

namespace mae::platform::win32 {

// Makes every later DLL load search the system folder alone: SetDefaultDllDirectories(
// LOAD_LIBRARY_SEARCH_SYSTEM32), looked up at run time (a Windows 7 without its 2011 loader
// update lacks it; then LoadSystemLibrary loads by full path). Also takes the current folder out
// of the search. The first thing the program does. Returns whether the search is restricted.
bool RestrictDllSearch() noexcept;

// The DLL name (e.g. L"odbc32.dll") of the system folder, loaded: where the search is
// restricted, by its name from the system folder (a side-by-side assembly that the manifest
// names, as comctl32 version 6, still comes from the assembly store); otherwise by the system
// folder's full path, its own imports then searched from that folder first. On failure returns
// null and sets failure to the file that was tried and the system's reason.
HMODULE LoadSystemLibrary(const wchar_t* name, std::string& failure);

// The entry point name of module as the function pointer type T; null when it has none.
template <typename T>
T EntryPoint(HMODULE module, const char* name) noexcept {
    // Through void (*)(), the one function type every other converts from without a warning.
    return reinterpret_cast<T>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace mae::platform::win32
