// Child procedures: a fresh host process run by a test, reporting on stdout.
// Each registers the driver of its own folder in the store it inherits.
#include <cstdio>
#include <functional>
#include <map>
#include <string>

#include "e16sim_control.h"
#include "host.h"

namespace e2e {
namespace {

// Detection with whatever vendor library the folder offers.
int ReportDetection() {
    Ptr<IADC3> adc = CreateAdc();
    if (!adc) return 3;
    VARIANT_BOOL found = VARIANT_FALSE;
    int16_t port = -1;
    BSTR error = nullptr;
    adc->Test(&found);
    adc->get_BasePort(&port);
    adc->get_LastError(&error);
    std::printf("test=%d port=%d error=%s\n", found != 0 ? 1 : 0, port, Utf8(error).c_str());
    SysFreeString(error);
    return 0;
}

// What a restarted host finds: the channel names before detection, then the
// rate and the module's start synchronization after it.
int ReportSettings() {
    Ptr<IADC3> adc = CreateAdc();
    if (!adc) return 3;
    std::string names;
    for (int16_t k = 0; k < 32; ++k) {
        BSTR name = nullptr;
        adc->get_ChannelName(&k, &name);
        names += (k > 0 ? "," : "") + Utf8(name);
        SysFreeString(name);
    }
    VARIANT_BOOL found = VARIANT_FALSE;
    float rate = 0;
    adc->Test(&found);
    adc->get_Rate(&rate);
    e16sim_config config{};
    e16sim_get_config(E16SIM_MODULE_DAC, 1, &config);
    std::printf("names=%s\nfound=%d rate=%g\nsync=%u watch=%u/%u/%u/%.6f\n", names.c_str(),
                found != 0 ? 1 : 0, rate, config.sync_start_mode, config.watch_phy, config.watch_mode,
                config.watch_range, config.watch_level);
    return 0;
}

const std::map<std::string, std::function<int()>>& Procedures() {
    static const std::map<std::string, std::function<int()>> procedures = {
        {"detection", ReportDetection},
        {"settings", ReportSettings},
    };
    return procedures;
}

} // namespace

int RunChildProcedure(const std::string& name) {
    const auto it = Procedures().find(name);
    if (it == Procedures().end()) return 4;
    if (FAILED(RegisterDriver())) return 2;
    const int status = it->second();
    std::fflush(stdout);
    return status;
}

} // namespace e2e
