// The Windows ODBC driver manager's entry points, from the system folder (Windows edition only).
#include "db/SqlApi.h"

#include <string>

#include "common/RuntimeError.h"
#include "platform/win32/SystemLibrary.h"

namespace mae::odbc {

namespace {

[[noreturn]] void CannotLoad(const std::string& what) {
    throw ErrorOf(err::DllLoad,
                  "the Windows ODBC driver manager cannot be used: " + what +
                      ". The program reaches the registry's databases through it: ask IT to "
                      "repair the ODBC components of Windows (Windows Update, or sfc /scannow), "
                      "then start the program again.");
}

EntryPoints Load() {
    std::string failure;
    HMODULE module = platform::win32::LoadSystemLibrary(L"odbc32.dll", failure);
    if (!module) CannotLoad("could not load " + failure);
    EntryPoints api{};
#define MAE_ODBC_LOOKUP(name)                                                  \
    api.name = platform::win32::EntryPoint<decltype(api.name)>(module, #name); \
    if (!api.name) CannotLoad("odbc32.dll of the system folder has no entry point " #name);
    MAE_ODBC_ENTRY_POINTS(MAE_ODBC_LOOKUP)
#undef MAE_ODBC_LOOKUP
    return api;
}

}  // namespace

const EntryPoints& Api() {
    // Loaded once, by the first caller (a failed load is tried again by the next one).
    static const EntryPoints api = Load();
    return api;
}

}  // namespace mae::odbc
