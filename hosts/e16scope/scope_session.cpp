#include "scope_session.h"

#include "driver_access.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace e16scope {
namespace {

namespace kit = velmora::hosts;

constexpr int32_t kBufferKadrs = 16384;

template <typename Interface> velmora::ComPtr<Interface> Query(IADC3* adc, const IID& iid) {
    velmora::ComPtr<Interface> face;
    if (adc != nullptr) adc->QueryInterface(iid, face.put_void());
    return face;
}

} // namespace

bool ScopeSession::Create(std::string& error) {
    adc_ = kit::CreateDriver("e16scope", error);
    dio_ = Query<IDIO>(adc_.get(), IID_IDIO);
    dao_ = Query<IDAO>(adc_.get(), IID_IDAO);
    face_ = kit::ModuleOf(adc_.get());
    return adc_.get() != nullptr;
}

std::string ScopeSession::Release() {
    if (adc_.get() == nullptr) return {};
    std::string ignored, reason;
    Stop(ignored);
    // Saved now rather than by the last release, which could not say why it failed.
    const bool saved = kit::SaveSettings(face_.get(), adc_.get(), reason);
    face_.reset();
    dao_.reset();
    dio_.reset();
    adc_.reset();
    return saved ? std::string() : reason;
}

bool ScopeSession::Setup(std::string& error) {
    int32_t outcome = 0;
    if (face_.get() == nullptr || FAILED(face_->ShowSetup(&outcome)) || outcome != 1) return true;
    return kit::SaveSettings(face_.get(), adc_.get(), error);
}

bool ScopeSession::SetAddress(const std::string& dotted, std::string& error) {
    return kit::SetModuleAddress(face_.get(), dotted, error);
}

bool ScopeSession::Detect() {
    VARIANT_BOOL detected = VARIANT_FALSE;
    adc_->Test(&detected);
    if (detected == VARIANT_FALSE) return false;
    module_ = kit::IdentifyModule(face_.get());
    return true;
}

bool ScopeSession::Detected() const {
    VARIANT_BOOL detected = VARIANT_FALSE;
    adc_->get_Detected(&detected);
    return detected != VARIANT_FALSE;
}

std::string ScopeSession::LastError() const {
    return kit::LastError(adc_.get());
}

std::string ScopeSession::ChannelName(int16_t channel) const {
    BSTR name = nullptr;
    adc_->get_ChannelName(&channel, &name);
    return kit::TakeUtf8(name);
}

std::vector<std::string> ScopeSession::RangeNames() const {
    return kit::RangeNames(adc_.get());
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
    SAFEARRAY* table = kit::Int16Array(wanted);
    if (table == nullptr) {
        error = "out of memory";
        return false;
    }
    adc_->put_InputChannels(&table);
    SafeArrayDestroy(table);
    SAFEARRAY* taken = nullptr;
    adc_->get_InputChannels(&taken);
    if (kit::TakeInt16s(taken) != wanted) {
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
    float asked = static_cast<float>(rate);
    adc_->put_Rate(&asked);
    rate_ = info_.rate = kit::KadrRate(face_.get(), adc_.get());
    info_.serial = module_.serial;
    info_.backend = module_.backend;
    info_.address = module_.address;
    return true;
}

bool ScopeSession::Start(const std::vector<ChannelChoice>& channels, double rate, double windowSeconds,
                         std::size_t columns, std::string& error) {
    stream_.reset();
    if (channels.empty()) {
        error = "no channel is selected";
        return false;
    }
    if (!Program(channels, rate, error)) return false;
    channels_ = channels;
    MakeTraces(windowSeconds, columns);
    buffer_.assign(channels.size() * kBufferKadrs, 0);
    received_ = 0;
    ringFill_ = 0;
    VARIANT_BOOL started = VARIANT_FALSE;
    adc_->StartRecord(&started);
    if (started == VARIANT_FALSE) {
        error = "cannot start: " + LastError();
        return false;
    }
    // The start lowers a rate whose sum over the channels is above RateMax.
    const double inForce = kit::KadrRate(face_.get(), adc_.get());
    if (inForce > 0 && inForce != rate_) {
        rate_ = info_.rate = inForce;
        MakeTraces(windowSeconds, columns);
    }
    recording_ = true;
    return true;
}

bool ScopeSession::StartStream(const std::string& endpoint, double windowSeconds, std::size_t columns,
                               std::string& error) {
    auto stream = std::make_unique<StreamFeed>();
    if (!stream->Open(endpoint, error)) return false;
    stream_ = std::move(stream);
    described_ = 0;
    streamEnd_.clear();
    channels_.clear();
    info_ = {};
    rate_ = 0;
    received_ = 0;
    ringFill_ = 0;
    windowSeconds_ = windowSeconds;
    columns_ = columns;
    recording_ = true;
    return true;
}

// A recording's first message names the channels and the rate the traces follow.
void ScopeSession::Describe(const kit::StreamHeader& h) {
    info_ = {};
    channels_.clear();
    for (std::size_t i = 0; i < h.channels.size(); ++i) {
        const auto range = static_cast<int16_t>(h.ranges.empty() ? -1 : h.ranges[i]);
        channels_.push_back({static_cast<int16_t>(i), range});
        info_.channels.push_back({h.channels[i], range, h.codesPerVolt[i]});
    }
    rate_ = info_.rate = h.rate;
    info_.serial = h.serial;
    info_.address = h.address;
    MakeTraces(windowSeconds_, columns_);
}

std::size_t ScopeSession::DrainStream(std::string& ended) {
    std::size_t total = 0;
    kit::StreamBlock block;
    while (recording_ && stream_->Next(block)) {
        int64_t missing = block.missingBefore;
        if (stream_->Recordings() != described_) {
            Describe(block.header);
            described_ = stream_->Recordings();
            missing = block.header.firstKadr; // times from the recording's start, as its files have them
        }
        if (missing > 0) { // drawn and measured at their time, not joined across
            traces_.Skip(static_cast<uint64_t>(missing));
            sweep_.Skip(static_cast<uint64_t>(missing));
        }
        Fold(block.codes.data(), static_cast<std::size_t>(block.header.kadrs));
        total += static_cast<std::size_t>(block.header.kadrs);
        if (block.header.end) {
            const std::string end = *block.header.end;
            (kit::EndedAsAsked(end) ? streamEnd_ : ended) =
                "the publisher ended: " + end + "; watching for its next recording";
        }
    }
    received_ += total;
    return total;
}

// The kadrs shown so far go, their time stays: the next kadr is drawn where
// it would have been.
void ScopeSession::SetWindow(double windowSeconds, std::size_t columns) {
    const uint64_t next = sweep_.Received();
    MakeTraces(windowSeconds, columns);
    traces_.Skip(next);
    sweep_.Skip(next);
}

void ScopeSession::MakeTraces(double windowSeconds, std::size_t columns) {
    windowSeconds_ = windowSeconds;
    columns_ = columns;
    if (channels_.empty()) return; // a stream that has not described itself yet
    const std::size_t perColumn = KadrsPerColumn(windowSeconds * rate_, columns);
    const auto kept =
        static_cast<std::size_t>(std::ceil(windowSeconds * rate_ / static_cast<double>(perColumn)));
    traces_.Reset(channels_.size(), perColumn, std::max<std::size_t>(kept, 1));
    std::vector<float> scales;
    for (const auto& channel : info_.channels) scales.push_back(channel.codesPerVolt);
    sweep_.Reset(channels_.size(), std::max<std::size_t>(std::lround(windowSeconds * rate_), 1), scales);
}

void ScopeSession::Fold(const int16_t* codes, std::size_t kadrs) {
    traces_.Add(codes, kadrs);
    sweep_.Add(codes, kadrs);
}

bool ScopeSession::Stop(std::string& error) {
    if (stream_) {
        recording_ = false;
        stream_.reset();
        return true;
    }
    if (!recording_) return true;
    recording_ = false;
    adc_->StopRecord();
    Drain(error); // the last kadrs, into the file too
    return StopFile(error) && error.empty();
}

std::size_t ScopeSession::Drain(std::string& ended) {
    if (stream_) return DrainStream(ended);
    if (channels_.empty() || buffer_.empty()) return 0;
    // Busy before the reads: once it is false no kadr comes any more, so the
    // reads below take the last ones.
    VARIANT_BOOL busy = VARIANT_TRUE;
    if (recording_) adc_->get_Busy(&busy);
    int32_t size = 0, unread = 0;
    adc_->get_InputSizeKadrs(&size);
    adc_->get_InputCountKadrs(&unread);
    ringFill_ = size > 0 ? static_cast<double>(unread) / size : 0;
    const auto say = [&ended](const std::string& why) { ended += (ended.empty() ? "" : "; ") + why; };
    std::size_t total = 0;
    for (;;) {
        int32_t count = static_cast<int32_t>(buffer_.size()), rest = 0, kadrs = 0;
        adc_->GetData(buffer_.data(), &count, &rest, &kadrs);
        if (kadrs <= 0) break;
        Fold(buffer_.data(), static_cast<std::size_t>(kadrs));
        std::string fileError;
        if (const std::string path = pendingFile_; !path.empty() && !OpenFile(received_ + total, fileError))
            say("cannot record to a file: " + fileError); // which names it
        if (file_ != nullptr && !file_->Write(buffer_.data(), static_cast<std::size_t>(kadrs))) {
            say("the recording file failed: " + file_->Error());
            file_.reset();
        }
        total += static_cast<std::size_t>(kadrs);
        if (rest <= 0) break;
    }
    received_ += total;
    if (recording_ && busy == VARIANT_FALSE) {
        say(EndText()); // before StopRecord, which clears the reason
        std::string fileError;
        if (!Stop(fileError)) say(fileError);
    }
    return total;
}

std::string ScopeSession::EndText() const {
    std::string why = kit::WhyEnded(face_.get(), adc_.get());
    if (why.empty()) why = "the recording ended";
    double kadrs = static_cast<double>(received_);
    if (face_.get() != nullptr) face_->get_KadrsReceived(&kadrs);
    char count[32];
    std::snprintf(count, sizeof count, "%.0f", kadrs);
    return why + "; " + count + " kadrs received";
}

bool ScopeSession::StartFile(const std::string& path, std::string& error) {
    if (stream_) {
        error = "a stream is recorded by e16rec --source";
        return false;
    }
    if (!recording_) {
        error = "start a recording first";
        return false;
    }
    if (!StopFile(error)) return false;
    pendingFile_ = path;
    return kit::StartTime(face_.get()) <= 0 || OpenFile(received_, error);
}

bool ScopeSession::OpenFile(uint64_t first, std::string& error) {
    const std::string path = std::exchange(pendingFile_, {});
    const double start = kit::StartTime(face_.get());
    info_.startTime = start > 0 ? kit::IsoUtc(start + static_cast<double>(first) / rate_) : std::string();
    file_ = kit::OpenWriter(path, kit::FormatOf(path), info_, true, error);
    return file_ != nullptr;
}

bool ScopeSession::StopFile(std::string& error) {
    // Asked for and no kadr came: the file holds no rows.
    if (!pendingFile_.empty() && !OpenFile(received_, error)) return false;
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

bool ScopeSession::SetDac(int channel, double volts) {
    return dao_.get() != nullptr && SUCCEEDED(dao_->put_ValueReal(static_cast<int16_t>(channel), volts));
}

double ScopeSession::Dac(int channel) const {
    double volts = 0;
    if (dao_.get() != nullptr) dao_->get_ValueReal(static_cast<int16_t>(channel), &volts);
    return volts;
}

bool ScopeSession::GeneratorPlaying() const {
    VARIANT_BOOL busy = VARIANT_FALSE;
    if (dao_.get() != nullptr) dao_->get_Busy(&busy);
    return busy != VARIANT_FALSE;
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
