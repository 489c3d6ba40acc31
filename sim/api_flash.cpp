// Entry points for the module's flash memory.
#include "api_guard.h"

using namespace e16sim;

E16SIM_API int32_t X502_FlashRead(t_x502_hnd h, uint32_t addr, uint8_t* data, uint32_t size) {
    return onModule(Entry::X502_FlashRead, h,
                    [&](Session& s) { return s.module->flash.read(addr, data, size); });
}

E16SIM_API int32_t X502_FlashWrite(t_x502_hnd h, uint32_t addr, const uint8_t* data, uint32_t size) {
    return onModule(Entry::X502_FlashWrite, h,
                    [&](Session& s) { return s.module->flash.write(addr, data, size); });
}

E16SIM_API int32_t X502_FlashErase(t_x502_hnd h, uint32_t addr, uint32_t size) {
    return onModule(Entry::X502_FlashErase, h, [&](Session& s) { return s.module->flash.erase(addr, size); });
}

E16SIM_API int32_t X502_FlashWriteEnable(t_x502_hnd h) {
    return onModule(Entry::X502_FlashWriteEnable, h, [&](Session& s) {
        s.module->flash.setWriteEnabled(true);
        return X502_ERR_OK;
    });
}

E16SIM_API int32_t X502_FlashWriteDisable(t_x502_hnd h) {
    return onModule(Entry::X502_FlashWriteDisable, h, [&](Session& s) {
        s.module->flash.setWriteEnabled(false);
        return X502_ERR_OK;
    });
}
