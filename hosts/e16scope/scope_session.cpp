#include "scope_session.h"

#include "driver_access.h"

#include <algorithm>
#include <cmath>
#include <ctime>

namespace e16scope {
namespace {

constexpr int32_t kBufferKadrs = 16384;

// The text of a BSTR the driver handed over, which it frees.
std::string Utf8(BSTR text) {
    std::string out = velmora::hosts::Utf8(text);
    SysFreeString(text);
    return out;
}

template <typename Interface> velmora::ComPtr<Interface> Query(IADC3* adc, const IID& iid) {
    velmora::ComPtr<Interface> face;
    if (adc != nullptr) adc->QueryInterface(iid, face.put_void());
    return face;
}

} // namespace

bool ScopeSession::Create(std::string& error) {
    adc_ = velmora::hosts::CreateDriver("e16scope", error);
    dio_ = Query<IDIO>(adc_.get(), IID_IDIO);
    dao_ = Query<IDAO>(adc_.get(), IID_IDAO);
    return adc_.get() != nullptr;
}

bool ScopeSession::Detect() {
    VARIANT_BOOL detected = VARIANT_FALSE;
    adc_->Test(&detected);
    if (detected == VARIANT_FALSE) return false;
    backend_ = velmora::hosts::LoadedBackend();
    address_ = velmora::hosts::ModuleAddress(adc_.get());
    return detected != VARIANT_FALSE;
}

bool ScopeSession::Detected() const {
    VARIANT_BOOL detected = VARIANT_FALSE;
    adc_->get_Detected(&detected);
    return detected != VARIANT_FALSE;
}

std::string ScopeSession::LastError() const {
    BSTR text = nullptr;
    adc_->get_LastError(&text);
    return Utf8(text);
}

std::string ScopeSession::ChannelName(int16_t channel) const {
    BSTR name = nullptr;
    adc_->get_ChannelName(&channel, &name);
    return Utf8(name);
}

std::vector<std::string> ScopeSession::RangeNames() const {
    std::vector<std::string> names;
    SAFEARRAY* ranges = nullptr;
    if (FAILED(adc_->get_Ranges(&ranges)) || ranges == nullptr) return names;
    BSTR* items = nullptr;
    if (SUCCEEDED(SafeArrayAccessData(ranges, reinterpret_cast<void**>(&items)))) {
        for (ULONG i = 0; i < ranges->rgsabound[0].cElements; ++i)
            names.push_back(Utf8(SysAllocStringLen(items[i], SysStringLen(items[i]))));
        SafeArrayUnaccessData(ranges);
    }
    SafeArrayDestroy(ranges);
    return names;
}

float ScopeSession::RateMax() const {
    float rate = 0;
    adc_->get_RateMax(&rate);
    return rate;
}

// The selection, ranges and rate as the driver took them; a selection the
// driver refused is an error, not another recording.
bool ScopeSession::Program(const std::vector<ChannelChoice>& channels, double rate, std::string& error) {
    std::vector<int16_t> wanted;
    for (ChannelChoice choice : channels) wanted.push_back(choice.channel);
    SAFEARRAY* table = velmora::hosts::Int16Array(wanted);
    if (table == nullptr) {
        error = "out of memory";
        return false;
    }
    adc_->put_InputChannels(&table);
    SafeArrayDestroy(table);
    SAFEARRAY* taken = nullptr;
    adc_->get_InputChannels(&taken);
    if (velmora::hosts::TakeInt16s(taken) != wanted) {
        error = "the driver did not take the channel selection";
        return false;
    }
    info_ = {};
    for (ChannelChoice choice : channels) {
        adc_->put_ChannelRange(&choice.channel, &choice.range);
        float scale = 1;
        adc_->get_ChannelUnitScale(&choice.channel, &scale);
        info_.channels.push_back({ChannelName(choice.channel), choice.range, scale});
    }
    float asked = static_cast<float>(rate), achieved = 0;
    adc_->put_Rate(&asked);
    adc_->get_Rate(&achieved);
    rate_ = achieved;
    info_.rate = achieved;
    info_.backend = backend_;
    info_.address = address_;
    return true;
}

bool ScopeSession::Start(const std::vector<ChannelChoice>& channels, double rate, double windowSeconds,
                         std::size_t columns, std::string& error) {
    if (channels.empty()) {
        error = "no channel is selected";
        return false;
    }
    if (!Program(channels, rate, error)) return false;
    channels_ = channels;
    SetWindow(windowSeconds, columns);
    buffer_.assign(channels.size() * kBufferKadrs, 0);
    received_ = lost_ = 0;
    ringFill_ = 0;
    info_.startTime = velmora::hosts::UtcNow();
    VARIANT_BOOL started = VARIANT_FALSE;
    adc_->StartRecord(&started);
    if (started == VARIANT_FALSE) {
        error = "cannot start: " + LastError();
        return false;
    }
    // The start lowers a rate whose sum over the channels is above RateMax.
    float inForce = 0;
    adc_->get_Rate(&inForce);
    if (inForce > 0 && inForce != rate_) {
        rate_ = info_.rate = inForce;
        SetWindow(windowSeconds, columns);
    }
    recording_ = true;
    started_ = lastData_ = Clock::now();
    return true;
}

void ScopeSession::SetWindow(double windowSeconds, std::size_t columns) {
    const std::size_t perColumn = KadrsPerColumn(windowSeconds * rate_, columns);
    const auto kept =
        static_cast<std::size_t>(std::ceil(windowSeconds * rate_ / static_cast<double>(perColumn)));
    traces_.Reset(channels_.size(), perColumn, std::max<std::size_t>(kept, 1));
}

bool ScopeSession::Stop(std::string& error) {
    if (!recording_) return true;
    recording_ = false;
    adc_->StopRecord();
    Drain(error); // the last kadrs, into the file too
    return StopFile(error) && error.empty();
}

std::size_t ScopeSession::Drain(std::string& ended) {
    if (channels_.empty() || buffer_.empty()) return 0;
    int32_t size = 0, unread = 0;
    adc_->get_InputSizeKadrs(&size);
    adc_->get_InputCountKadrs(&unread);
    ringFill_ = size > 0 ? static_cast<double>(unread) / size : 0;
    std::size_t total = 0;
    for (;;) {
        int32_t count = static_cast<int32_t>(buffer_.size()), rest = 0, kadrs = 0;
        adc_->GetData(buffer_.data(), &count, &rest, &kadrs);
        if (kadrs <= 0) break;
        traces_.Add(buffer_.data(), static_cast<std::size_t>(kadrs));
        if (file_ != nullptr && !file_->Write(buffer_.data(), static_cast<std::size_t>(kadrs))) {
            ended = "the recording file failed: " + file_->Error();
            file_.reset();
        }
        total += static_cast<std::size_t>(kadrs);
        if (rest <= 0) break;
    }
    received_ += total;
    const auto now = Clock::now();
    if (total > 0) lastData_ = now;
    if (recording_ && velmora::hosts::SilentSince(lastData_, rate_)) {
        const double expected = std::chrono::duration<double>(now - started_).count() * rate_;
        lost_ = expected > static_cast<double>(received_) ? static_cast<uint64_t>(expected) - received_ : 0;
        const std::string why = LastError();
        ended = velmora::hosts::SilenceText(why) + "; lost: " + std::to_string(lost_) + " kadrs never came";
        std::string fileError;
        if (!Stop(fileError)) ended += "; " + fileError;
    }
    return total;
}

bool ScopeSession::StartFile(const std::string& path, std::string& error) {
    if (!recording_) {
        error = "start a recording first";
        return false;
    }
    file_ = velmora::hosts::OpenWriter(path, velmora::hosts::FormatOf(path), info_, true, error);
    return file_ != nullptr;
}

bool ScopeSession::StopFile(std::string& error) {
    if (file_ == nullptr) return true;
    const bool closed = file_->Close();
    if (!closed) error = file_->Error();
    file_.reset();
    return closed;
}

int ScopeSession::DacCount() const {
    int16_t count = 0;
    if (dao_.get() != nullptr) dao_->get_ChannelsCount(&count);
    return count;
}

void ScopeSession::SetDac(int channel, double volts) {
    if (dao_.get() != nullptr) dao_->put_ValueReal(static_cast<int16_t>(channel), volts);
}

double ScopeSession::Dac(int channel) const {
    double volts = 0;
    if (dao_.get() != nullptr) dao_->get_ValueReal(static_cast<int16_t>(channel), &volts);
    return volts;
}

uint16_t ScopeSession::DigitalInputs() const {
    int32_t word = 0;
    if (dio_.get() != nullptr) dio_->get_DIValue(&word);
    return static_cast<uint16_t>(word);
}

uint16_t ScopeSession::DigitalOutputs() const {
    int32_t word = 0;
    if (dio_.get() != nullptr) dio_->get_DOValue(&word);
    return static_cast<uint16_t>(word);
}

void ScopeSession::SetDigitalOutputs(uint16_t word) {
    int32_t value = word;
    if (dio_.get() != nullptr) dio_->put_DOValue(&value);
}

} // namespace e16scope
