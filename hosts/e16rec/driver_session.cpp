#include "driver_session.h"

#include <velmora/registry_store.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "ui/ip_chooser_model.h"
#include "ui/ip_edit_model.h"

namespace e16rec {
namespace {

namespace reg = velmora::reg;

constexpr const char* kDriverKey = "Software\\Tervan\\ADC\\L-Card\\E16";

} // namespace

bool DriverSession::Create(std::string& error, std::FILE* notes) {
    adc_ = velmora::hosts::CreateDriver("e16rec", error, notes);
    return adc_.get() != nullptr;
}

bool DetectModule(IADC3* adc, std::string& error) {
    VARIANT_BOOL detected = VARIANT_FALSE;
    adc->Test(&detected);
    if (detected) return true;
    BSTR text = nullptr;
    adc->get_LastError(&text);
    const std::string why = Utf8(text);
    SysFreeString(text);
    error = "no module: " + (why.empty() ? std::string("no address was chosen") : why);
    return false;
}

bool StoreChannelTable(bool singleEnded, std::string& error) {
    std::vector<uint8_t> table(32);
    for (int k = 0; k < 32; ++k) table[k] = static_cast<uint8_t>(k | (singleEnded ? 32 : 0));
    const auto store = [&](reg::HKEY key) {
        return reg::RegSetValueEx(key, "ADChannels", reg::REG_BINARY, table.data(), 32);
    };
    reg::HKEY key = 0;
    LONG rc = reg::RegCreateKeyEx(reg::HKEY_CURRENT_USER, kDriverKey, reg::KEY_ALL_ACCESS, &key, nullptr);
    if (rc == reg::ERROR_SUCCESS) rc = store(key);
    for (reg::DWORD i = 0; rc == reg::ERROR_SUCCESS; ++i) {
        char name[256];
        reg::DWORD size = sizeof name;
        if (reg::RegEnumKeyEx(key, i, name, &size) != reg::ERROR_SUCCESS) break;
        reg::HKEY module = 0;
        rc = reg::RegOpenKeyEx(key, name, reg::KEY_WRITE, &module);
        if (rc != reg::ERROR_SUCCESS) break;
        rc = store(module);
        reg::RegCloseKey(module);
    }
    if (key != 0) reg::RegCloseKey(key);
    if (rc != reg::ERROR_SUCCESS) error = "cannot store the channel table: " + reg::FormatMessage(rc);
    return rc == reg::ERROR_SUCCESS;
}

std::string TableChannelName(int16_t channel, bool singleEnded) {
    const int source = channel % 32;
    // Appended rather than "X" + to_string(...): GCC 12 warns falsely about
    // the latter at -O3.
    if (singleEnded) return std::string(source < 16 ? "X" : "Y").append(std::to_string(source % 16 + 1));
    return source < 16 ? std::string("XY").append(std::to_string(source + 1)) : "Calibration 0";
}

AddressAnswer::AddressAnswer(const std::filesystem::path& folder, int32_t address)
    : list_(velmora::ui::AddressListFile(folder)) {
    std::ifstream in(list_, std::ios::binary);
    if (in) {
        std::ostringstream text;
        text << in.rdbuf();
        saved_ = text.str();
    }
    std::ofstream(list_, std::ios::binary | std::ios::trunc) << velmora::ui::DottedText(address) << "\r\n"
                                                             << saved_.value_or("");
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        if (const char* value = std::getenv(name)) {
            hidden_.emplace_back(name, value);
            ::unsetenv(name);
        }
    }
    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (null >= 0) {
        input_ = ::dup(STDIN_FILENO);
        ::dup2(null, STDIN_FILENO);
        ::close(null);
    }
}

AddressAnswer::~AddressAnswer() {
    if (input_ >= 0) {
        ::dup2(input_, STDIN_FILENO);
        ::close(input_);
    }
    for (const auto& [name, value] : hidden_) ::setenv(name.c_str(), value.c_str(), 1);
    std::error_code ignored;
    if (saved_)
        std::ofstream(list_, std::ios::binary | std::ios::trunc) << *saved_;
    else
        std::filesystem::remove(list_, ignored);
}

} // namespace e16rec
