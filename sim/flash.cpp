#include "flash.h"

#include <algorithm>

#include "device/x502api.h"

namespace e16sim {

int32_t Flash::checkRange(uint32_t addr, uint32_t size) {
    if (addr >= kSize) return X502_ERR_FLASH_INVALID_ADDR;
    return size <= kSize - addr ? X502_ERR_OK : X502_ERR_FLASH_INVALID_SIZE;
}

void Flash::materialize() {
    if (bytes_.empty()) bytes_.assign(kSize, 0xFF);
}

void Flash::wipe() {
    bytes_.clear();
    writeEnabled_ = false;
}

int32_t Flash::read(uint32_t addr, uint8_t* data, uint32_t size) {
    if (int32_t err = checkRange(addr, size)) return err;
    if (size != 0 && data == nullptr) return X502_ERR_INVALID_POINTER;
    if (bytes_.empty())
        std::fill_n(data, size, uint8_t{0xFF});
    else
        std::copy_n(bytes_.begin() + addr, size, data);
    return X502_ERR_OK;
}

int32_t Flash::erase(uint32_t addr, uint32_t size) {
    if (int32_t err = checkRange(addr, size)) return err;
    if (addr % kSector != 0 || size % kSector != 0) return X502_ERR_FLASH_SECTOR_BOUNDARY;
    if (!writeEnabled_) return X502_ERR_FLASH_WRITE_PROTECTED;
    if (!bytes_.empty()) std::fill_n(bytes_.begin() + addr, size, uint8_t{0xFF});
    return X502_ERR_OK;
}

int32_t Flash::write(uint32_t addr, const uint8_t* data, uint32_t size) {
    if (int32_t err = checkRange(addr, size)) return err;
    if (size != 0 && data == nullptr) return X502_ERR_INVALID_POINTER;
    if (!writeEnabled_) return X502_ERR_FLASH_WRITE_PROTECTED;
    if (size == 0) return X502_ERR_OK;
    materialize();
    for (uint32_t i = 0; i < size; ++i) bytes_[addr + i] &= data[i];
    return X502_ERR_OK;
}

} // namespace e16sim
