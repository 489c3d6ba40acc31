// Lintara: the driver's one creatable class. The object itself is the
// _Lintara (IUnknown, IDispatch) identity; its host-interface faces share its
// reference count and hold the subsystems of the process-wide DriverState
// they serve. Members run on the host's thread; the reference counts are atomic.
#pragma once

#include <atomic>
#include <cstdint>

#include "driver/adc_face.h"
#include "driver/dao_face.h"
#include "driver/dio_face.h"
#include "driver/module_face.h"
#include "engine/driver_state.h"

namespace velmora::driver {

class Lintara final : public dispatch::DispatchImpl<_Lintara> {
public:
    // Creates an object and asks it for riid; the object goes again when
    // the interface is refused.
    static HRESULT Create(REFIID riid, void** object);
    // Objects alive in this process (for DllCanUnloadNow).
    static int32_t LiveObjects();

    Lintara(const Lintara&) = delete;
    Lintara& operator=(const Lintara&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    VELMORA_LINTARA_MEMBERS(VELMORA_OVERRIDE_MEMBER)

private:
    Lintara();
    ~Lintara();
    HRESULT ReturnSelf(IDispatch** result);

    // Ordering: AddRef needs none; the Release that reaches 0 must see every
    // other thread's last use of the object (acq_rel).
    std::atomic<ULONG> references_{1};
    engine::DriverState& state_; // before the faces, which take its parts
    AdcFace adc_;
    DioFace dio_;
    DaoFace dao_;
    ModuleFace module_;
};

} // namespace velmora::driver
