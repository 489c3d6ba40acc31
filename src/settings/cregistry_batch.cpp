#include "settings/cregistry_batch.h"

#include "settings/cregistry_key.h"

namespace velmora::settings {

void cRegistryBatch::SetKey(const std::string& path) {
    key_ = path;
    reg::RegBatchWrite& write = writes_.emplace_back();
    write.subKey = detail::ToStore(path);
    write.keyOnly = true;
}

void cRegistryBatch::Add(const std::string& name, reg::DWORD type, std::vector<uint8_t> data) {
    writes_.push_back({detail::ToStore(key_), detail::ToStore(name), type, std::move(data), false});
}

void cRegistryBatch::WriteString(const std::string& name, const std::string& value) {
    const std::string bytes = detail::ToStore(value);
    Add(name, reg::REG_SZ, {bytes.begin(), bytes.end()});
}

template <class T> void cRegistryBatch::WriteNumber(const std::string& name, T value) {
    using Stored = detail::StoredNumber<T>;
    if constexpr (Stored::kDword)
        Add(name, reg::REG_DWORD, detail::StoreLe32(Stored::Encode(value)));
    else
        WriteBinary(name, detail::StoreLe64(Stored::Encode(value)));
}

#define VELMORA_CREGISTRY_BATCH(Name, T)                                                                     \
    void cRegistryBatch::Write##Name(const std::string& name, T value) {                                     \
        WriteNumber(name, value);                                                                            \
    }
VELMORA_CREGISTRY_NUMBERS(VELMORA_CREGISTRY_BATCH)
#undef VELMORA_CREGISTRY_BATCH

void cRegistryBatch::WriteBinary(const std::string& name, const std::vector<uint8_t>& value) {
    if (!value.empty()) Add(name, reg::REG_BINARY, value);
}

} // namespace velmora::settings
