#include "driver/lintara.h"

#include "driver/driver_ops.h"
#include "driver/host_values.h"

namespace velmora::driver {
namespace {

// Objects alive in the process; read by DllCanUnloadNow on any thread.
std::atomic<int32_t> liveObjects{0};

} // namespace

HRESULT Lintara::Create(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    return Firewall([&] {
        Lintara* created = new Lintara();
        const HRESULT hr = created->QueryInterface(riid, object);
        created->Release();
        return hr;
    });
}

int32_t Lintara::LiveObjects() {
    return liveObjects.load(std::memory_order_acquire);
}

Lintara::Lintara()
    : state_(State()), adc_(*this, state_), dio_(*this, state_.dio, state_.module, state_.input),
      dao_(*this, state_.output, state_.module, state_.input), module_(*this, state_) {
    liveObjects.fetch_add(1, std::memory_order_acq_rel);
    // Start-up errors are the engine's to absorb; an object always results.
    Firewall([this] {
        OnObjectCreated(state_);
        return S_OK;
    });
}

Lintara::~Lintara() {
    Firewall([this] {
        OnObjectDestroyed(state_);
        EndLifetime();
        return S_OK;
    });
    liveObjects.fetch_sub(1, std::memory_order_acq_rel);
}

HRESULT Lintara::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID__Lintara) {
        *object = static_cast<_Lintara*>(this);
    } else if (riid == IID_IADC3) {
        *object = static_cast<IADC3*>(&adc_);
    } else if (riid == IID_IDIO) {
        *object = static_cast<IDIO*>(&dio_);
    } else if (riid == IID_IDAO) {
        *object = static_cast<IDAO*>(&dao_);
    } else if (riid == IID_IModule) {
        *object = static_cast<IModule*>(&module_);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG Lintara::AddRef() {
    return references_.fetch_add(1, std::memory_order_relaxed) + 1;
}

ULONG Lintara::Release() {
    const ULONG left = references_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
}

HRESULT Lintara::ReturnSelf(IDispatch** result) {
    if (result == nullptr) return E_POINTER;
    *result = static_cast<_Lintara*>(this);
    AddRef();
    return S_OK;
}

HRESULT Lintara::GetADC3(IDispatch** result) {
    return ReturnSelf(result);
}

HRESULT Lintara::GetDIO(IDispatch** result) {
    return ReturnSelf(result);
}

HRESULT Lintara::GetDAO(IDispatch** result) {
    return ReturnSelf(result);
}

} // namespace velmora::driver
