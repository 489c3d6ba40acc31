// The firewall at an exported boundary: a body's result, or the code of
// what it threw, so that no exception reaches a caller expecting an HRESULT.
#pragma once

#include <new>

#include <velmora/com.h>

namespace velmora::com {

template <typename Body> HRESULT Firewall(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

} // namespace velmora::com
