// Face<I>: one host interface of a Lintara object in a small object of its own
// (interfaces share member names with other meanings), with the object's
// identity and reference count; and the macro declaring a class's overrides.
#pragma once

#include "driver/dispatch.h"

// A class implementing interface members declares them from the interface's
// list: VELMORA_IADC3_MEMBERS(VELMORA_OVERRIDE_MEMBER).
// clang-format off
#define VELMORA_OVERRIDE_MEMBER(kind, name, params, shape) \
    HRESULT STDMETHODCALLTYPE VELMORA_MEMBER_NAME(kind, name) params override;
// clang-format on

namespace velmora::driver {

template <typename I> class Face : public dispatch::DispatchImpl<I> {
public:
    explicit Face(IUnknown& identity) : identity_(identity) {}
    Face(const Face&) = delete;
    Face& operator=(const Face&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        return identity_.QueryInterface(riid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return identity_.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return identity_.Release(); }

protected:
    IUnknown& identity() const { return identity_; }

private:
    IUnknown& identity_;
};

} // namespace velmora::driver
