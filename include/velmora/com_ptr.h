// ComPtr<T>: owns one reference to a component object and releases it at the
// end of its life. For hosts and tests; header-only. Not thread-safe: one
// ComPtr is used by one thread at a time, like a plain pointer.
#pragma once

#include <velmora/com.h>

#include <concepts>
#include <cstddef>
#include <utility>

namespace velmora {

template <typename T>
requires std::derived_from<T, IUnknown>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(std::nullptr_t) noexcept {}
    // Takes over the reference the caller holds (as returned by a creating
    // call); does not AddRef.
    explicit ComPtr(T* object) noexcept : object_(object) {}
    // A copy is one more reference.
    ComPtr(const ComPtr& other) noexcept : object_(other.object_) {
        if (object_ != nullptr) object_->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        swap(other);
        return *this;
    }
    ~ComPtr() { reset(); }

    T* get() const noexcept { return object_; }
    T* operator->() const noexcept { return object_; }
    T& operator*() const noexcept { return *object_; }
    explicit operator bool() const noexcept { return object_ != nullptr; }

    // Releases the reference held and takes over `object`'s, like the constructor.
    void reset(T* object = nullptr) noexcept {
        T* old = std::exchange(object_, object);
        if (old != nullptr) old->Release();
    }
    // Gives up the reference without releasing it.
    [[nodiscard]] T* detach() noexcept { return std::exchange(object_, nullptr); }
    void swap(ComPtr& other) noexcept { std::swap(object_, other.object_); }

    // For a call that stores a new reference through an out parameter
    // (CoCreateInstance, QueryInterface, a getter): releases what is held and
    // gives the slot to fill.
    T** put() noexcept {
        reset();
        return &object_;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

    // QueryInterface for `iid` into a ComPtr<U>; empty when the object lacks it.
    template <typename U> HRESULT As(REFIID iid, ComPtr<U>* result) const noexcept {
        if (object_ == nullptr) return E_POINTER;
        return object_->QueryInterface(iid, result->put_void());
    }

    friend bool operator==(const ComPtr& a, const ComPtr& b) noexcept { return a.object_ == b.object_; }
    friend bool operator==(const ComPtr& a, std::nullptr_t) noexcept { return a.object_ == nullptr; }

private:
    T* object_ = nullptr;
};

} // namespace velmora
