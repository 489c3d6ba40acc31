#include "com_host.h"

#include <stdlib.h>

#include <system_error>
#include <vector>

#include "channel_table.h"
#include "driver_access.h"
#include "module_info.h"

namespace velmora::bench {
namespace {

std::filesystem::path MakeStore() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velmora-host-XXXXXX").string();
    return ::mkdtemp(pattern.data());
}

} // namespace

ComHost::ComHost() : store_(MakeStore()) {
    ::setenv("XDG_CONFIG_HOME", store_.c_str(), 1); // never the user's own store
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
}

ComHost::~ComHost() {
    if (adc_.get() != nullptr) adc_->StopRecord();
    module_.reset();
    adc_.reset();
    std::error_code ec;
    std::filesystem::remove_all(store_, ec);
}

bool ComHost::Open(std::string& error) {
    if (!hosts::StoreChannelTable(true, error)) return false;
    adc_ = hosts::CreateDriver("bench", error);
    if (adc_.get() == nullptr) return false;
    module_ = hosts::ModuleOf(adc_.get());
    if (module_.get() == nullptr) {
        error = "the driver has no IModule interface";
        return false;
    }
    if (!hosts::SetModuleAddress(module_.get(), "127.0.0.1", error)) return false;
    VARIANT_BOOL detected = VARIANT_FALSE;
    adc_->Test(&detected);
    if (detected != VARIANT_FALSE) return true;
    error = "no module: " + hosts::LastError(adc_.get());
    return false;
}

bool ComHost::Start(int16_t channels, float rate, int32_t ringSamples, std::string& error) {
    std::vector<int16_t> selection;
    for (int16_t k = 0; k < channels; ++k) selection.push_back(k);
    SAFEARRAY* array = hosts::Int16Array(selection);
    adc_->put_InputChannels(&array);
    SafeArrayDestroy(array);
    adc_->put_Rate(&rate);
    adc_->put_InputSizeData(&ringSamples);
    VARIANT_BOOL started = VARIANT_FALSE;
    adc_->StartRecord(&started);
    if (started != VARIANT_FALSE) return true;
    error = "the recording did not start: " + hosts::LastError(adc_.get());
    return false;
}

int32_t ComHost::GetData(int16_t* buffer, int32_t capacity) {
    int32_t count = capacity, rest = 0, kadrs = 0;
    return SUCCEEDED(adc_->GetData(buffer, &count, &rest, &kadrs)) ? kadrs : 0;
}

bool ComHost::Busy() {
    VARIANT_BOOL busy = VARIANT_FALSE;
    adc_->get_Busy(&busy);
    return busy != VARIANT_FALSE;
}

void ComHost::Stop() {
    adc_->StopRecord();
}

std::string ComHost::EndReason() {
    return hosts::EndReason(module_.get());
}

} // namespace velmora::bench
