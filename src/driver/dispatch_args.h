// The argument holders of the table-driven Invoke: each turns one VARIANT
// argument into a member's parameter (and writes a converted copy back), and
// StoreResult turns a member's result into the caller's VARIANT. A holder
// lives for one call, on the caller's thread.
#pragma once

#include <velmora/com.h>

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace velmora::driver::dispatch {

template <typename T> inline constexpr bool kUnsupported = false;

// The VARIANT type of a scalar parameter type.
template <typename T, bool boolean> constexpr VARTYPE VtOf() {
    if constexpr (boolean) {
        static_assert(std::is_same_v<T, VARIANT_BOOL>);
        return VT_BOOL;
    } else if constexpr (std::is_same_v<T, int16_t>) {
        return VT_I2;
    } else if constexpr (std::is_same_v<T, int32_t>) {
        return VT_I4;
    } else if constexpr (std::is_same_v<T, uint8_t>) {
        return VT_UI1;
    } else if constexpr (std::is_same_v<T, float>) {
        return VT_R4;
    } else if constexpr (std::is_same_v<T, double>) {
        return VT_R8;
    } else {
        static_assert(kUnsupported<T>, "no VARIANT type for this parameter");
    }
}

// Converts an argument (by value or by reference) to a scalar of type vt:
// DISP_E_OVERFLOW for a number the type cannot hold, DISP_E_TYPEMISMATCH for
// what is no such value at all.
HRESULT ConvertScalar(const VARIANT& arg, VARTYPE vt, void* value, size_t size);
// Converts value (of type vt) back into a by-reference argument, to the type
// the caller gave; by-value arguments are left alone.
void WriteBackScalar(VARIANT& arg, VARTYPE vt, const void* value);
// The caller's own storage of a vt value: VT_BYREF|vt, or a by-reference
// Variant that holds vt; null otherwise.
void* ExactStorage(VARIANT& arg, VARTYPE vt);
// The array slot of an array argument; null when the argument is no array.
SAFEARRAY** ArrayStorage(VARIANT& arg);
// Locks an array whose elements are of type vt and gives its data; false,
// with nothing locked, for another type or an array without elements.
bool AccessElements(SAFEARRAY* array, VARTYPE vt, void** data);
// The number of elements of an array, all dimensions together.
int64_t ElementCount(SAFEARRAY* array);

// A count held to `most` (and to 0 from below when `most` is 0).
template <typename T> void HoldCount(T& count, int64_t most) {
    if constexpr (std::is_integral_v<T>) {
        if (count > most) count = static_cast<T>(most);
    }
}

class HolderBase {
public:
    HolderBase() = default;
    HolderBase(const HolderBase&) = delete;
    HolderBase& operator=(const HolderBase&) = delete;
    void WriteBack() {}
};

template <typename T, bool boolean> class ValueArg : public HolderBase {
public:
    HRESULT Load(VARIANT& arg) { return ConvertScalar(arg, VtOf<T, boolean>(), &value_, sizeof(T)); }
    T Get() const { return value_; }
    void HoldTo(int64_t most) { HoldCount(value_, most); }

private:
    T value_{};
};

template <typename T, bool boolean> class RefArg : public HolderBase {
public:
    HRESULT Load(VARIANT& arg) {
        if (void* storage = ExactStorage(arg, VtOf<T, boolean>())) {
            target_ = static_cast<T*>(storage);
            return S_OK;
        }
        if (const HRESULT hr = ConvertScalar(arg, VtOf<T, boolean>(), &copy_, sizeof(T)); FAILED(hr))
            return hr;
        source_ = &arg;
        target_ = &copy_;
        return S_OK;
    }
    T* Get() const { return target_; }
    void WriteBack() {
        if (source_ != nullptr) WriteBackScalar(*source_, VtOf<T, boolean>(), &copy_);
    }
    void HoldTo(int64_t most) { HoldCount(*target_, most); }

private:
    T copy_{};
    T* target_ = nullptr;
    VARIANT* source_ = nullptr; // set when the member works on a copy
};

class ArrayArg : public HolderBase {
public:
    HRESULT Load(VARIANT& arg) {
        target_ = ArrayStorage(arg);
        return target_ != nullptr ? S_OK : DISP_E_TYPEMISMATCH;
    }
    SAFEARRAY** Get() const { return target_; }

private:
    SAFEARRAY** target_ = nullptr;
};

// A String passed by value: the caller's text, borrowed for the call. A
// by-reference String or a Variant holding one is read the same way.
class TextArg : public HolderBase {
public:
    HRESULT Load(VARIANT& arg) {
        const VARIANT* v = &arg;
        if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal != nullptr) v = v->pvarVal;
        if (v->vt == VT_BSTR) {
            text_ = v->bstrVal;
            return S_OK;
        }
        if (v->vt == (VT_BYREF | VT_BSTR) && v->pbstrVal != nullptr) {
            text_ = *v->pbstrVal;
            return S_OK;
        }
        return DISP_E_TYPEMISMATCH;
    }
    BSTR Get() const { return text_; }

private:
    BSTR text_ = nullptr;
};

// The first element of the caller's array of T.
template <typename T> class BufferArg : public HolderBase {
public:
    ~BufferArg() {
        if (locked_ != nullptr) SafeArrayUnaccessData(locked_);
    }
    HRESULT Load(VARIANT& arg) {
        constexpr VARTYPE vt = VtOf<T, false>();
        if (arg.vt == (VT_BYREF | vt)) {
            first_ = static_cast<T*>(arg.byref);
            return first_ != nullptr ? S_OK : DISP_E_TYPEMISMATCH;
        }
        SAFEARRAY** slot = ArrayStorage(arg);
        void* data = nullptr;
        if (slot == nullptr || !AccessElements(*slot, vt, &data)) return DISP_E_TYPEMISMATCH;
        locked_ = *slot;
        first_ = static_cast<T*>(data);
        room_ = ElementCount(locked_);
        return S_OK;
    }
    T* Get() const { return first_; }
    // Elements from the first on: known for an array, -1 for a bare reference
    // (the caller vouches for it, as with a vtable call).
    int64_t Room() const { return room_; }

private:
    T* first_ = nullptr;
    SAFEARRAY* locked_ = nullptr;
    int64_t room_ = -1;
};

// Results. With out null the value is released (strings, arrays, objects).
void StoreResult(BSTR value, bool boolean, VARIANT* out);
void StoreResult(uint8_t value, bool boolean, VARIANT* out);
void StoreResult(int16_t value, bool boolean, VARIANT* out);
void StoreResult(int32_t value, bool boolean, VARIANT* out);
void StoreResult(float value, bool boolean, VARIANT* out);
void StoreResult(double value, bool boolean, VARIANT* out);
// A null array (GetKadr) is reported as an Integer array without data.
void StoreResult(SAFEARRAY* value, bool boolean, VARIANT* out);
void StoreResult(IDispatch* value, bool boolean, VARIANT* out);

} // namespace velmora::driver::dispatch
