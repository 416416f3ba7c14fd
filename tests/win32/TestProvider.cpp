// An in-process COM server of the tests that stands where the host's ConnectionStringProvider
// stands: the same class id, the same dual interface, GetConnectionString first after IDispatch.
// It gives the text of the environment variable MAE_TEST_CONNECTION_STRING, or fails with the
// HRESULT written in hexadecimal in MAE_TEST_PROVIDER_FAILURE when that is set.
#include <windows.h>
// COM and BSTRs, after <windows.h>.
#include <objbase.h>
#include <oleauto.h>

#include <atomic>
#include <cstdlib>
#include <string>

namespace {

constexpr CLSID ProviderClass = {
    0x93dd741a, 0xe634, 0x4adf, {0x97, 0xaa, 0x67, 0x17, 0x46, 0x22, 0x11, 0x32}};
constexpr IID ProviderInterface = {
    0xeb01fb5d, 0xf26a, 0x4c50, {0xad, 0x9d, 0x48, 0x9a, 0x06, 0xcb, 0x03, 0xfe}};

std::atomic<long> g_objects{0};

std::wstring Environment(const wchar_t* name) {
    wchar_t value[32768];
    const DWORD length = GetEnvironmentVariableW(name, value, 32768);
    return length > 0 && length < 32768 ? std::wstring(value, length) : std::wstring();
}

// No virtual destructor: the method table must hold IDispatch's seven methods and then
// GetConnectionString, nothing between.
class Provider final : public IDispatch {
  public:
    Provider() { ++g_objects; }
    ~Provider() { --g_objects; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == ProviderInterface) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --m_references;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }
    // The interface's first method of its own.
    virtual HRESULT STDMETHODCALLTYPE GetConnectionString(BSTR* result) {
        if (!result) return E_POINTER;
        *result = nullptr;
        const std::wstring failure = Environment(L"MAE_TEST_PROVIDER_FAILURE");
        if (!failure.empty())
            return static_cast<HRESULT>(std::wcstoul(failure.c_str(), nullptr, 16));
        const std::wstring text = Environment(L"MAE_TEST_CONNECTION_STRING");
        *result = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return *result ? S_OK : E_OUTOFMEMORY;
    }

  private:
    std::atomic<ULONG> m_references{1};
};

class Factory : public IClassFactory {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (outer) return CLASS_E_NOAGGREGATION;
        auto* provider = new (std::nothrow) Provider;
        if (!provider) return E_OUTOFMEMORY;
        const HRESULT hr = provider->QueryInterface(iid, out);
        provider->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

Factory g_factory;

}  // namespace

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (clsid != ProviderClass) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(iid, out);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return g_objects == 0 ? S_OK : S_FALSE; }
