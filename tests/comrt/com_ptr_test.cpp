// ComPtr's reference counting against an object that counts its references.
#include <velmora/com_ptr.h>

#include <gtest/gtest.h>

#include <utility>

namespace {

using velmora::ComPtr;

// Lives on the stack and only counts, so a test can read the count after the
// last ComPtr is gone.
struct Counted final : IUnknown {
    ULONG refs = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        *ppv = riid == IID_IUnknown ? this : nullptr;
        if (*ppv == nullptr) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
};

TEST(ComPtr, HoldsOneReferencePerOwner) {
    Counted object;
    {
        ComPtr<Counted> a(&object);
        EXPECT_EQ(object.refs, 1u) << "adopting takes over the caller's reference";
        ComPtr<Counted> b = a;
        ComPtr<Counted> c = std::move(b);
        EXPECT_EQ(object.refs, 2u) << "a copy and a move";
        EXPECT_FALSE(b);
        const ComPtr<Counted>& same = c;
        c = same;
        EXPECT_EQ(object.refs, 2u) << "self-assignment";
        c = nullptr;
        a = ComPtr<Counted>(a);
        EXPECT_EQ(object.refs, 1u);
    }
    EXPECT_EQ(object.refs, 0u);
}

TEST(ComPtr, OutParameterReleasesTheOldReferenceFirst) {
    Counted first, second;
    ComPtr<IUnknown> p(&first);
    ASSERT_EQ(second.QueryInterface(IID_IUnknown, p.put_void()), S_OK);
    EXPECT_EQ(std::pair(first.refs, second.refs), std::pair(0u, 2u)) << "the old one released, the new held";
    ComPtr<IUnknown> face;
    EXPECT_EQ(p.As(IID_IUnknown, &face), S_OK);
    EXPECT_EQ(p.As(IID_IDispatch, &face), E_NOINTERFACE);
    EXPECT_FALSE(face);
    EXPECT_EQ(second.refs, 2u) << "the reference the failed query replaced is released";
    IUnknown* raw = p.detach();
    EXPECT_EQ(second.refs, 2u) << "detach keeps the reference";
    p.reset(raw);
    p.reset();
    EXPECT_EQ(second.refs, 1u);
}

} // namespace
