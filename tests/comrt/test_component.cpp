// A minimal in-process server: one class and its factory behind the entry
// points comrt-register and the runtime call.
#include "test_component.h"

#include <velmora/server_registration.h>

namespace {

// One static object is the factory and every instance: its lifetime is the
// library's, so it counts nothing.
class Calculator final : public IClassFactory, public ICalculator {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) *ppv = static_cast<IClassFactory*>(this);
        if (riid == IID_ICalculator) *ppv = static_cast<ICalculator*>(this);
        return *ppv != nullptr ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        return riid == IID_IClassFactory ? E_NOINTERFACE : QueryInterface(riid, ppv);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Add(int32_t a, int32_t b, int32_t* sum) override {
        *sum = a + b;
        return S_OK;
    }
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
