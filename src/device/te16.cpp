// Construction, opening and closing, identity texts and error texts.
#include "device/te16.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <limits>
#include <new>

#include "platform/codepage.h"

namespace velmora::device {

namespace {
constexpr std::size_t kSerialBytes = 32;
constexpr std::size_t kMaxErrorText = 512;
} // namespace

TE16::TE16(const VendorApi& api) : api_(api) {
    if (api_.X502_GetLibraryVersion != nullptr) libraryVersion_ = api_.X502_GetLibraryVersion();
}

TE16::~TE16() {
    Close();
}

int32_t TE16::UsbGetSerialList(int32_t interfaceCode, bool notOpenedOnly) {
    usbSerialCount_ = 0;
    usbSerials_.clear();
    if (api_.E16_UsbGetSerialList == nullptr) return 0;
    const uint32_t flags = notOpenedOnly ? X502_GETDEVS_FLAGS_ONLY_NOT_OPENED : 0u;
    if (interfaceCode != kInterfaceUsb) return usbSerialCount_;
    uint32_t count = 0;
    CallCount(api_.E16_UsbGetSerialList, nullptr, 0u, flags, &count);
    count = std::min<uint32_t>(count, std::numeric_limits<int32_t>::max() / kSerialBytes);
    if (count == 0) return usbSerialCount_;
    usbSerials_.assign(count * kSerialBytes, '\0');
    auto* list = reinterpret_cast<char(*)[kSerialBytes]>(usbSerials_.data());
    const int32_t stored = CallCount(api_.E16_UsbGetSerialList, list, count, flags, &count);
    // A library that claims more than the list holds must not make us read past it.
    usbSerialCount_ = std::min<int32_t>(stored, static_cast<int32_t>(usbSerials_.size() / kSerialBytes));
    return usbSerialCount_;
}

std::string TE16::UsbSerial(int32_t index) const {
    if (index < 0 || index >= usbSerialCount_) return {};
    return AnsiFieldText(usbSerials_.data() + static_cast<std::size_t>(index) * kSerialBytes, kSerialBytes);
}

bool TE16::Open(int32_t address, int32_t interfaceCode) {
    Close();
    connectionLost_.store(false, std::memory_order_relaxed);
    if (OpenHandle(address, interfaceCode)) return true;
    Close();
    return false;
}

// Steps of Open after the initial Close; false leaves cleanup to the caller.
bool TE16::OpenHandle(int32_t address, int32_t interfaceCode) {
    if (interfaceCode == kInterfaceUsb && (address < 0 || address >= usbSerialCount_)) return false;
    if (api_.X502_Create == nullptr) {
        lastResult_.store(kVendorUnreachable, std::memory_order_relaxed);
        return false;
    }
    t_x502_hnd handle = api_.X502_Create();
    if (handle == nullptr) { // the library could not allocate the handle
        lastResult_.store(X502_ERR_MEMORY_ALLOC, std::memory_order_relaxed);
        return false;
    }
    handle_.store(handle, std::memory_order_release);
    if (interfaceCode == kInterfaceUsb) {
        char serial[kSerialBytes + 1] = {};
        std::memcpy(serial, usbSerials_.data() + static_cast<std::size_t>(address) * kSerialBytes,
                    kSerialBytes);
        if (Call(api_.E16_OpenUsb, handle, static_cast<const char*>(serial)) < 0) return false;
    } else if (interfaceCode == kInterfaceEthernet) {
        if (Call(api_.E16_OpenByIpAddr, handle, static_cast<uint32_t>(address), 0u,
                 static_cast<uint32_t>(kOpenTimeoutMs)) < 0)
            return false;
    } else {
        return false;
    }
    if (!GetDevInfo(deviceInfo_)) return false;
    Call(api_.X502_SetMode, handle, 0u);
    openedAddress_ = address;
    return true;
}

void TE16::Close() {
    t_x502_hnd handle = handle_.load(std::memory_order_acquire);
    if (handle != nullptr) {
        if (api_.X502_Close != nullptr) api_.X502_Close(handle);
        if (api_.X502_Free != nullptr) api_.X502_Free(handle);
    }
    handle_.store(nullptr, std::memory_order_release);
    openedAddress_ = -1;
    deviceInfo_ = t_x502_info{};
}

bool TE16::GetDevInfo(t_x502_info& info) {
    return Call(api_.X502_GetDevInfo, Handle(), &info) == 0;
}

std::string TE16::AnsiFieldText(const char* field, std::size_t size) {
    std::string bytes;
    for (std::size_t i = 0; i < size; ++i) {
        const auto byte = static_cast<unsigned char>(field[i]);
        if (byte >= 32) {
            bytes.push_back(static_cast<char>(byte));
        } else if (!bytes.empty()) {
            break;
        }
    }
    return platform::AnsiToUtf8(bytes);
}

std::string TE16::BoardName() const {
    return AnsiFieldText(deviceInfo_.name, sizeof deviceInfo_.name);
}

std::string TE16::SerialNumber() const {
    return AnsiFieldText(deviceInfo_.serial, sizeof deviceInfo_.serial);
}

std::string TE16::BoardRevision() const {
    const char16_t letter = static_cast<char16_t>(65 + deviceInfo_.board_rev);
    return platform::Utf16ToUtf8(std::u16string_view(&letter, 1));
}

std::string TE16::FpgaVersion() const {
    const uint32_t version = deviceInfo_.fpga_ver;
    return std::to_string(version >> 8) + "." + std::to_string(version & 0xFF);
}

std::string TE16::McuVersion() const {
    const uint32_t word = deviceInfo_.mcu_firmware_ver;
    return std::to_string(word >> 24) + "." + std::to_string((word >> 16) & 0xFF) + "." +
           std::to_string((word >> 8) & 0xFF);
}

bool TE16::DacPresent() const {
    return (deviceInfo_.devflags & X502_DEVFLAGS_DAC_PRESENT) != 0;
}

std::string TE16::LastErrorText() const {
    return ErrorText(LastResult());
}

std::string TE16::ErrorText(int32_t code) const {
    return "Error " + std::to_string(code) + ": " + ErrorString(code);
}

std::string TE16::BackendText() const {
    Dl_info info{};
    const void* entry = reinterpret_cast<const void*>(api_.X502_GetLibraryVersion);
    if (entry == nullptr || ::dladdr(entry, &info) == 0 || info.dli_fname == nullptr) return {};
    std::error_code ec;
    const std::string file = std::filesystem::weakly_canonical(info.dli_fname, ec).string();
    const std::string version = std::to_string(LibraryVersionMajor()) + "." +
                                std::to_string(LibraryVersionMinor()) + "." +
                                std::to_string(LibraryVersionBuild());
    const std::string where = api_.simulator ? "simulated module (" + file + ")" : "vendor library " + file;
    return where + ", version " + version;
}

std::string TE16::LibraryProblem() const {
    if (!api_.unloadable.empty()) return api_.unloadable;
    if (api_.libraries.empty())
        return "No libx502api.so.1 or libe502api.so.1 was found, nor libe16sim.so beside the driver";
    return {};
}

std::string TE16::ErrorString(int32_t code) const {
    if (code == 0) return {};
    if (code == kVendorUnreachable) return api_.UnreachableText();
    if (api_.X502_GetErrorString == nullptr) return {};
    const char* text = api_.X502_GetErrorString(code);
    if (text == nullptr) return {};
    const std::size_t length = ::strnlen(text, kMaxErrorText);
    if (length == 0 || length >= kMaxErrorText) return {};
    try {
        return platform::AnsiToUtf8(std::string_view(text, length));
    } catch (const std::bad_alloc&) {
        return "Error of the function \"GetErrorString\"!";
    }
}

} // namespace velmora::device
