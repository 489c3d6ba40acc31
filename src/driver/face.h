// A face: one host interface implemented beside the object's own _Lintara.
// Several interfaces have members of the same name and signature with
// different meanings, so each gets its own vtable in its own small object;
// identity, QueryInterface and the reference count stay the object's.
#pragma once

#include "driver/dispatch.h"

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
