// A minimal in-process server: one class and its factory behind the entry
// points comrt-register and the runtime call.
#include "test_component.h"

#include <velmora/com_ptr.h>
#include <velmora/server_registration.h>

#include <atomic>
#include <new>

namespace {

class Calculator final : public ICalculator {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        *ppv = riid == IID_IUnknown || riid == IID_ICalculator ? this : nullptr;
        if (*ppv == nullptr) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    ULONG STDMETHODCALLTYPE Release() override {
        // acq_rel: the last release sees every other owner's writes before deleting.
        const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE Add(int32_t a, int32_t b, int32_t* sum) override {
        *sum = a + b;
        return S_OK;
    }

private:
    std::atomic<ULONG> refs_{1};
};

// Static: its lifetime is the library's, so it counts nothing.
class CalculatorFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        *ppv = riid == IID_IUnknown || riid == IID_IClassFactory ? this : nullptr;
        return *ppv != nullptr ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        velmora::ComPtr<Calculator> object(new (std::nothrow) Calculator());
        return object ? object->QueryInterface(riid, ppv) : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
} factory;

} // namespace

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    *ppv = nullptr;
    return rclsid == CLSID_TestComponent ? factory.QueryInterface(riid, ppv) : CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllRegisterServer() {
    const std::string path = velmora::com::LibraryPathOf(reinterpret_cast<const void*>(&DllGetClassObject));
    return velmora::com::RegisterInprocServer(CLSID_TestComponent, "Velmora.TestComponent",
                                              "Velmora test component", path);
}

STDAPI DllUnregisterServer() {
    return velmora::com::UnregisterInprocServer(CLSID_TestComponent, "Velmora.TestComponent");
}
