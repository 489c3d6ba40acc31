#include "settings/cregistry_batch.h"

#include <bit>

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

void cRegistryBatch::WriteLong(const std::string& name, int32_t value) {
    Add(name, reg::REG_DWORD, detail::StoreLe32(static_cast<uint32_t>(value)));
}

void cRegistryBatch::WriteInteger(const std::string& name, int16_t value) {
    WriteLong(name, static_cast<uint16_t>(value)); // upper half zero
}

void cRegistryBatch::WriteSingle(const std::string& name, float value) {
    WriteLong(name, std::bit_cast<int32_t>(value));
}

void cRegistryBatch::WriteDouble(const std::string& name, double value) {
    WriteBinary(name, detail::StoreLe64(std::bit_cast<uint64_t>(value)));
}

void cRegistryBatch::WriteBinary(const std::string& name, const std::vector<uint8_t>& value) {
    if (!value.empty()) Add(name, reg::REG_BINARY, value);
}

} // namespace velmora::settings
