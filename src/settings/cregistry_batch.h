// cRegistryBatch: writes gathered for one store transaction
// (cRegistry::WriteBatch), encoded as cRegistry's typed members encode them,
// so that a group of values is stored all together or not at all.
// Not thread-safe; holds no handle and makes no store call of its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <velmora/registry_store.h>

#include "settings/cregistry_numbers.h"

namespace velmora::settings {

class cRegistryBatch {
public:
    // Later writes go to the key at path below the root given to WriteBatch;
    // the key (with its missing parents) is created even if none follows.
    void SetKey(const std::string& path);

    void WriteString(const std::string& name, const std::string& value);
#define VELMORA_CREGISTRY_BATCH(Name, T) void Write##Name(const std::string& name, T value);
    VELMORA_CREGISTRY_NUMBERS(VELMORA_CREGISTRY_BATCH)
#undef VELMORA_CREGISTRY_BATCH
    // An empty array is not written, as SetBinaryAt refuses it.
    void WriteBinary(const std::string& name, const std::vector<uint8_t>& value);

    const std::vector<reg::RegBatchWrite>& Writes() const {
        return writes_;
    }
    // Leaves out the value writes for which `held` is true; key creations stay.
    template <class Held> void DropValues(Held held) {
        std::erase_if(writes_,
                      [&](const reg::RegBatchWrite& write) { return !write.keyOnly && held(write); });
    }

private:
    void Add(const std::string& name, reg::DWORD type, std::vector<uint8_t> data);
    template <class T> void WriteNumber(const std::string& name, T value);

    std::string key_;
    std::vector<reg::RegBatchWrite> writes_;
};

} // namespace velmora::settings
