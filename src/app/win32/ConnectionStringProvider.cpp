// The host's ConnectionStringProvider on Windows: the COM class installed with the host product,
// created by its class id and called through its interface's method table.
#include "app/startup/ConnectionStringProvider.h"

#include <windows.h>
// COM and BSTRs, after <windows.h>.
#include <objbase.h>
#include <oleauto.h>

#include <cstdio>
#include <string>

#include "app/win32/RegistryViews.h"
#include "app/win32/WideText.h"
#include "common/RuntimeError.h"
#include "platform/win32/WinText.h"

namespace mae {

namespace win32 {

// The interface as its method table lays it out: IDispatch's seven methods, then this one. Not in
// an unnamed namespace: its implementations live in the host's component, outside this program,
// and the compiler must not conclude from this file that none exists.
struct IConnectionStringProvider : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE GetConnectionString(BSTR* result) = 0;
};

}  // namespace win32

namespace {

// {93DD741A-E634-4ADF-97AA-671746221132}
constexpr CLSID ProviderClass = {
    0x93dd741a, 0xe634, 0x4adf, {0x97, 0xaa, 0x67, 0x17, 0x46, 0x22, 0x11, 0x32}};
const std::wstring ProviderClassText = L"{93DD741A-E634-4ADF-97AA-671746221132}";
// {EB01FB5D-F26A-4C50-AD9D-489A06CB03FE}: dual, derived from IDispatch.
constexpr IID ProviderInterface = {
    0xeb01fb5d, 0xf26a, 0x4c50, {0xad, 0x9d, 0x48, 0x9a, 0x06, 0xcb, 0x03, 0xfe}};

std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "%08lX", static_cast<unsigned long>(hr));
    return text;
}

std::string SystemText(HRESULT hr) {
    std::string out = platform::win32::SystemMessage(static_cast<DWORD>(hr));
    if (out.empty() && hr == REGDB_E_CLASSNOTREG) out = "class not registered";
    return out.empty() ? Hex(hr) : out + ", " + Hex(hr);
}

// Keeps COM initialised on this thread while it lives.
class ComScope {
  public:
    ComScope() : m_hr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(m_hr)) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

  private:
    HRESULT m_hr;  // RPC_E_CHANGED_MODE: the thread already has COM, differently; that serves
};

}  // namespace

std::u16string ConnectionStringProvider::GetConnectionString() const {
    ComScope com;
    win32::IConnectionStringProvider* provider = nullptr;
    const HRESULT created = CoCreateInstance(ProviderClass, nullptr, CLSCTX_ALL, ProviderInterface,
                                             reinterpret_cast<void**>(&provider));
    if (FAILED(created) || !provider) {
        // Registered for the other bitness only, the class is simply missing to this program; in
        // neither view, the host product is not installed (or its registration is broken).
        std::string hint = win32::ComponentViewHint(ProviderClassText);
        if (hint.empty() && created == REGDB_E_CLASSNOTREG) {
            hint =
                "The host's component is not registered on this PC, for programs of either "
                "bitness: install or repair the host product, then start the program again.";
        }
        throw ErrorOf(err::CannotCreate, "the host's ConnectionStringProvider " +
                                             ToUtf8(win32::FromWide(ProviderClassText)) + " (" +
                                             SystemText(created) + ")" +
                                             (hint.empty() ? "" : ". " + hint));
    }
    BSTR text = nullptr;
    const HRESULT called = provider->GetConnectionString(&text);
    // The whole BSTR, by its length: the string goes to the connection exactly as it came.
    std::u16string result;
    if (text) result.assign(reinterpret_cast<const char16_t*>(text), SysStringLen(text));
    SysFreeString(text);
    provider->Release();
    if (FAILED(called)) {
        throw RuntimeError(static_cast<int32_t>(called),
                           "Automation error: GetConnectionString of the host's "
                           "ConnectionStringProvider failed (" +
                               SystemText(called) + ")");
    }
    return result;
}

}  // namespace mae
