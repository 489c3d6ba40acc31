#include "recorder.h"

#include "driver_session.h"

#include <chrono>
#include <thread>
#include <unistd.h>

namespace e16rec {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kDrainPeriod = std::chrono::milliseconds(100);

SAFEARRAY* ChannelArray(const std::vector<int16_t>& channels) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_I2, 0, static_cast<ULONG>(channels.size()));
    void* data = nullptr;
    if (array != nullptr && SUCCEEDED(SafeArrayAccessData(array, &data))) {
        std::copy(channels.begin(), channels.end(), static_cast<int16_t*>(data));
        SafeArrayUnaccessData(array);
    }
    return array;
}

void WriteKadrs(std::FILE* csv, const std::vector<ChannelStats>& channels, const int16_t* codes,
                int32_t kadrs) {
    const std::size_t n = channels.size();
    for (int32_t k = 0; k < kadrs; ++k) {
        for (std::size_t i = 0; i < n; ++i)
            std::fprintf(csv, i + 1 < n ? "%.6f," : "%.6f\n", codes[k * n + i] / channels[i].scale);
    }
}

} // namespace

std::string Recorder::LastError() const {
    BSTR text = nullptr;
    adc_->get_LastError(&text);
    std::string result = ToUtf8(text);
    SysFreeString(text);
    return result;
}

bool Recorder::Prepare(std::string& error) {
    if (!DetectModule(adc_, error)) return false;
    SAFEARRAY* array = ChannelArray(options_.channels);
    adc_->put_InputChannels(&array);
    SafeArrayDestroy(array);
    channels_.clear();
    for (int16_t channel : options_.channels) {
        int16_t index = channel, range = options_.range;
        adc_->put_ChannelRange(&index, &range);
        ChannelStats stats;
        BSTR name = nullptr;
        adc_->get_ChannelName(&index, &name);
        stats.name = ToUtf8(name);
        SysFreeString(name);
        float scale = 0;
        adc_->get_ChannelUnitScale(&index, &scale);
        stats.scale = scale > 0 ? scale : 1;
        if (stats.name == "Y16" && rampPosition_ < 0) rampPosition_ = static_cast<int>(channels_.size());
        channels_.push_back(stats);
    }
    float rate = options_.rate;
    adc_->put_Rate(&rate);
    adc_->get_Rate(&rate_);
    return true;
}

void Recorder::WriteHeader(std::FILE* csv) const {
    for (std::size_t i = 0; i < channels_.size(); ++i)
        std::fprintf(csv, i + 1 < channels_.size() ? "%s," : "%s\n", channels_[i].name.c_str());
}

void Recorder::Drain(std::FILE* csv, KadrStats& stats, std::vector<int16_t>& buffer) {
    for (;;) {
        int32_t count = static_cast<int32_t>(buffer.size()), rest = 0, kadrs = 0;
        adc_->GetData(buffer.data(), &count, &rest, &kadrs);
        if (kadrs <= 0) return;
        stats.Add(buffer.data(), kadrs);
        if (csv != nullptr) WriteKadrs(csv, channels_, buffer.data(), kadrs);
        if (rest <= 0) return;
    }
}

void Recorder::ShowProgress(double elapsed, const KadrStats& stats) const {
    if (options_.quiet || !::isatty(STDERR_FILENO)) return;
    std::fprintf(stderr, "\r%6.1f s  %10lld kadrs", elapsed, static_cast<long long>(stats.kadrs()));
    if (stats.hasRamp()) std::fprintf(stderr, "  lost %lld", static_cast<long long>(stats.ramp().lost()));
    std::fflush(stderr);
}

bool Recorder::Record(std::FILE* csv, RecordingResult& result, std::string& error) {
    result.stats = std::make_unique<KadrStats>(channels_, rampPosition_);
    if (csv != nullptr) WriteHeader(csv);
    std::vector<int16_t> buffer(channels_.size() * 65536);
    VARIANT_BOOL started = VARIANT_FALSE;
    adc_->StartRecord(&started);
    if (!started) {
        error = "cannot start: " + LastError();
        return false;
    }
    const auto begin = Clock::now();
    const auto end = begin + std::chrono::duration<double>(options_.seconds);
    while (Clock::now() < end) {
        std::this_thread::sleep_for(kDrainPeriod);
        Drain(csv, *result.stats, buffer);
        ShowProgress(std::chrono::duration<double>(Clock::now() - begin).count(), *result.stats);
    }
    adc_->StopRecord();
    Drain(csv, *result.stats, buffer);
    if (!options_.quiet && ::isatty(STDERR_FILENO)) std::fputc('\n', stderr);
    result.rate = rate_;
    result.seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    return true;
}

} // namespace e16rec
