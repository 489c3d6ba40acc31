// A minimal in-process server: one class, its factory and the four exported
// entry points, registering itself through the runtime's helpers.
#include "test_component.h"
#include "comrt/server_registration.h"

#include <atomic>
#include <new>

namespace {

// Objects and server locks alive; relaxed, only counts.
std::atomic<int32_t> liveObjects{0};
std::atomic<int32_t> serverLocks{0};

class Calculator final : public ICalculator {
public:
    Calculator() { liveObjects.fetch_add(1, std::memory_order_relaxed); }
    ~Calculator() { liveObjects.fetch_sub(1, std::memory_order_relaxed); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_ICalculator) return E_NOINTERFACE;
        *ppv = static_cast<ICalculator*>(this);
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
        if (sum == nullptr) return E_POINTER;
        *sum = a + b;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Describe(BSTR* text) override {
        if (text == nullptr) return E_POINTER;
        *text = SysAllocString(u"Velmora test calculator");
        return *text != nullptr ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE LiveObjects(int32_t* count) override {
        if (count == nullptr) return E_POINTER;
        *count = liveObjects.load(std::memory_order_relaxed);
        return S_OK;
    }

private:
    std::atomic<ULONG> refs_{1};
};

class CalculatorFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
        *ppv = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    // The factory is static: its lifetime is the library's.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        auto* object = new (std::nothrow) Calculator();
        if (object == nullptr) return E_OUTOFMEMORY;
        const HRESULT hr = object->QueryInterface(riid, ppv);
        object->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        serverLocks.fetch_add(lock ? 1 : -1, std::memory_order_relaxed);
        return S_OK;
    }
};

CalculatorFactory factory;

} // namespace

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (rclsid != CLSID_TestComponent) return CLASS_E_CLASSNOTAVAILABLE;
    return factory.QueryInterface(riid, ppv);
}

STDAPI DllCanUnloadNow() {
    const bool idle =
        liveObjects.load(std::memory_order_relaxed) == 0 && serverLocks.load(std::memory_order_relaxed) == 0;
    return idle ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer() {
    const std::string path = velmora::com::LibraryPathOf(reinterpret_cast<const void*>(&DllGetClassObject));
    return velmora::com::RegisterInprocServer(CLSID_TestComponent, kTestComponentProgId,
                                              "Velmora test component", path);
}

STDAPI DllUnregisterServer() {
    return velmora::com::UnregisterInprocServer(CLSID_TestComponent, kTestComponentProgId);
}
