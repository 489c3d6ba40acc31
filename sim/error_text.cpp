#include "error_text.h"

#include "device/x502api.h"

namespace e16sim {
namespace {

struct ErrorEntry {
    int32_t code;
    const char* text;
};

constexpr ErrorEntry kErrors[] = {
    {X502_ERR_OK, "Success"},
    {X502_ERR_INVALID_HANDLE, "Invalid module handle"},
    {X502_ERR_MEMORY_ALLOC, "Memory allocation error"},
    {X502_ERR_ALREADY_OPENED, "A module is already open on this handle"},
    {X502_ERR_DEVICE_NOT_FOUND, "No module with the given serial number was found"},
    {X502_ERR_DEVICE_BUSY, "The module is busy: it is already open by another handle"},
    {X502_ERR_CONNECTION_REFUSED, "Connection refused: no module answers at this address"},
    {X502_ERR_INVALID_POINTER, "Invalid (null) pointer argument"},
    {X502_ERR_STREAM_IS_RUNNING, "The operation is not allowed while streams are running"},
    {X502_ERR_STREAM_IS_NOT_RUNNING, "The streams are not running"},
    {X502_ERR_STREAM_OVERFLOW, "Input stream buffer overflow: data were lost"},
    {X502_ERR_CONNECTION_LOST, "Connection to the module was lost"},
    {X502_ERR_DEVICE_NOT_OPENED, "No module is open on this handle"},
    {X502_ERR_INTERNAL, "Internal error of the library"},
    {X502_ERR_INVALID_MODE, "Invalid module operating mode"},
    {X502_ERR_INVALID_LTABLE_SIZE, "Invalid number of logical channels"},
    {X502_ERR_INVALID_LCH_NUMBER, "Invalid logical channel number"},
    {X502_ERR_INVALID_LCH_RANGE, "Invalid input range code"},
    {X502_ERR_INVALID_LCH_MODE, "Invalid channel measuring mode"},
    {X502_ERR_INVALID_LCH_PHY_NUMBER, "Invalid physical channel number for this mode"},
    {X502_ERR_INVALID_ADC_FREQ, "Invalid ADC frequency"},
    {X502_ERR_INVALID_REF_FREQ, "Invalid reference frequency"},
    {X502_ERR_INVALID_SYNC_MODE, "Invalid synchronization mode"},
    {X502_ERR_INVALID_STREAM_CH, "Invalid stream direction"},
    {X502_ERR_INVALID_OUT_FREQ, "Invalid output frequency"},
    {X502_ERR_INVALID_DIN_FREQ, "Invalid digital input frequency"},
    {X502_ERR_INVALID_STREAMS, "Invalid stream bits"},
    {X502_ERR_ASYNC_TIMEOUT, "The frame was not acquired within the timeout"},
    {X502_ERR_DAC_NOT_PRESENT, "The module has no DAC"},
    {X502_ERR_INVALID_DAC_CHANNEL, "Invalid DAC channel number"},
    {X502_ERR_OUT_NOT_PREPARED, "No output cycle load or preload was started"},
    {X502_ERR_OUT_CYCLE_NOT_LOADED, "No output cycle has been loaded"},
    {X502_ERR_OUT_CYCLE_INCOMPLETE, "The output cycle load is not complete"},
    {X502_ERR_INVALID_OUT_WORD, "Invalid output stream word"},
    {X502_ERR_INVALID_OUT_SIZE, "Invalid output cycle size"},
    {X502_ERR_PREPARE_NO_DATA, "No output data to prepare"},
    {X502_ERR_FLASH_INVALID_ADDR, "Invalid flash memory address"},
    {X502_ERR_FLASH_INVALID_SIZE, "Invalid flash memory data size"},
    {X502_ERR_FLASH_SECTOR_BOUNDARY, "Flash erase must start and end on a sector boundary"},
    {X502_ERR_FLASH_WRITE_PROTECTED, "Flash memory is write-protected"},
};

} // namespace

const char* errorText(int32_t code) {
    for (const auto& e : kErrors) {
        if (e.code == code) return e.text;
    }
    return "Unknown error";
}

} // namespace e16sim
