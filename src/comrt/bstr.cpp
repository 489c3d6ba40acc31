// BSTR: one allocation holding the 32-bit byte length, the characters and a
// terminating NUL; the pointer handed out points at the first character.
#include "comrt/bstr_internal.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kPrefix = sizeof(uint32_t);
// Keeps the byte length and the terminator within 32 bits.
constexpr uint32_t kMaxBytes = 0x7FFFFFF0u;

char* BaseOf(BSTR s) {
    return reinterpret_cast<char*>(s) - kPrefix;
}

// Allocates room for `bytes` bytes of text plus a two-byte NUL; the text is
// copied from `data` when given, zeroed otherwise.
BSTR AllocBytes(const void* data, uint32_t bytes) {
    if (bytes > kMaxBytes) return nullptr;
    // Odd byte lengths still end in a whole NUL character.
    const size_t total = kPrefix + bytes + sizeof(OLECHAR) + (bytes & 1u);
    auto* base = static_cast<char*>(std::malloc(total));
    if (base == nullptr) return nullptr;
    std::memcpy(base, &bytes, kPrefix);
    char* text = base + kPrefix;
    if (data != nullptr)
        std::memcpy(text, data, bytes);
    else
        std::memset(text, 0, bytes);
    std::memset(text + bytes, 0, total - kPrefix - bytes);
    return reinterpret_cast<BSTR>(text);
}

size_t Length(const OLECHAR* psz) {
    size_t n = 0;
    while (psz[n] != 0) ++n;
    return n;
}

} // namespace

namespace velmora::com {

BSTR CopyBstr(BSTR s) {
    if (s == nullptr) return nullptr;
    return AllocBytes(s, SysStringByteLen(s));
}

} // namespace velmora::com

BSTR SysAllocString(const OLECHAR* psz) {
    if (psz == nullptr) return nullptr;
    const size_t n = Length(psz);
    if (n > kMaxBytes / sizeof(OLECHAR)) return nullptr;
    return AllocBytes(psz, static_cast<uint32_t>(n * sizeof(OLECHAR)));
}

BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
    if (ui > kMaxBytes / sizeof(OLECHAR)) return nullptr;
    return AllocBytes(strIn, static_cast<uint32_t>(ui * sizeof(OLECHAR)));
}

BSTR SysAllocStringByteLen(const char* psz, UINT len) {
    return AllocBytes(psz, len);
}

INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz) {
    if (pbstr == nullptr) return 0;
    if (psz == nullptr) return SysReAllocStringLen(pbstr, nullptr, 0);
    return SysReAllocStringLen(pbstr, psz, static_cast<UINT>(Length(psz)));
}

INT SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT len) {
    if (pbstr == nullptr) return 0;
    // The source may lie inside the old string, so copy before freeing.
    BSTR fresh = SysAllocStringLen(psz, len);
    if (fresh == nullptr) return 0;
    SysFreeString(*pbstr);
    *pbstr = fresh;
    return 1;
}

void SysFreeString(BSTR bstrString) {
    if (bstrString != nullptr) std::free(BaseOf(bstrString));
}

UINT SysStringLen(BSTR pbstr) {
    return SysStringByteLen(pbstr) / sizeof(OLECHAR);
}

UINT SysStringByteLen(BSTR bstr) {
    if (bstr == nullptr) return 0;
    uint32_t bytes = 0;
    std::memcpy(&bytes, BaseOf(bstr), kPrefix);
    return bytes;
}
