#include "session.h"

#include "driver_access.h"

#include <atomic>
#include <mutex>

namespace lintara {
namespace {

std::mutex driverCalls;           // one caller at a time in the driver
std::atomic<int> openSessions{0}; // not yet closed

std::unique_lock<std::mutex> Lock() {
    return std::unique_lock(driverCalls);
}

SAFEARRAY* Int16Vector(const std::vector<int16_t>& values) {
    SAFEARRAY* array = velmora::hosts::Int16Array(values);
    if (array == nullptr) throw DriverFailure("out of memory for the channel list");
    return array;
}

void Check(HRESULT hr, const char* member) {
    if (FAILED(hr)) throw DriverFailure(std::string(member) + " failed: " + HresultText(hr));
}

} // namespace

std::u16string TakeText(BSTR text) {
    std::u16string result(text != nullptr ? text : u"", SysStringLen(text));
    SysFreeString(text);
    return result;
}

Session::Session() {
    const auto driver = DriverBeside();
    if (driver.empty())
        throw DriverFailure("no driver (Lintara.adc) beside the lintara package; LINTARA_DRIVER names one");
    const auto guard = Lock();
    EnsureRegistered(driver);
    adc_ = CreateDriver();
    Check(adc_.As(IID_IDAO, &dao_), "QueryInterface(IDAO)");
    Check(adc_.As(IID_IDIO, &dio_), "QueryInterface(IDIO)");
    ++openSessions;
}

Session::~Session() {
    Close();
}

void Session::Close() {
    const auto guard = Lock();
    if (!adc_) return;
    dio_.reset();
    dao_.reset();
    adc_.reset();
    --openSessions;
}

int Session::OpenCount() {
    return openSessions.load();
}

IADC3& Session::Adc() {
    if (!adc_) throw DriverFailure("the driver is closed");
    return *adc_;
}
IDAO& Session::Dao() {
    Adc();
    return *dao_;
}
IDIO& Session::Dio() {
    Adc();
    return *dio_;
}

bool Session::Test() {
    const auto guard = Lock();
    VARIANT_BOOL detected = VARIANT_FALSE;
    Check(Adc().Test(&detected), "Test");
    return detected != VARIANT_FALSE;
}

bool Session::Detected() {
    const auto guard = Lock();
    VARIANT_BOOL detected = VARIANT_FALSE;
    Check(Adc().get_Detected(&detected), "Detected");
    return detected != VARIANT_FALSE;
}

bool Session::Busy() {
    const auto guard = Lock();
    VARIANT_BOOL busy = VARIANT_FALSE;
    Check(Adc().get_Busy(&busy), "Busy");
    return busy != VARIANT_FALSE;
}

std::u16string Session::LastError() {
    const auto guard = Lock();
    BSTR text = nullptr;
    Check(Adc().get_LastError(&text), "LastError");
    return TakeText(text);
}

std::vector<int16_t> Session::Channels() {
    const auto guard = Lock();
    SAFEARRAY* array = nullptr;
    Check(Adc().get_InputChannels(&array), "InputChannels");
    return velmora::hosts::TakeInt16s(array);
}

void Session::SetChannels(const std::vector<int16_t>& channels) {
    const auto guard = Lock();
    SAFEARRAY* array = Int16Vector(channels);
    const HRESULT hr = Adc().put_InputChannels(&array);
    SafeArrayDestroy(array);
    Check(hr, "InputChannels");
}

std::u16string Session::ChannelName(int16_t channel) {
    const auto guard = Lock();
    BSTR text = nullptr;
    Check(Adc().get_ChannelName(&channel, &text), "ChannelName");
    return TakeText(text);
}

int16_t Session::ChannelRange(int16_t channel) {
    const auto guard = Lock();
    int16_t range = 0;
    Check(Adc().get_ChannelRange(&channel, &range), "ChannelRange");
    return range;
}

void Session::SetChannelRange(int16_t channel, int16_t range) {
    const auto guard = Lock();
    Check(Adc().put_ChannelRange(&channel, &range), "ChannelRange");
}

float Session::UnitScale(int16_t channel) {
    const auto guard = Lock();
    float scale = 0;
    Check(Adc().get_ChannelUnitScale(&channel, &scale), "ChannelUnitScale");
    return scale;
}

float Session::UnitOffset(int16_t channel) {
    const auto guard = Lock();
    float offset = 0;
    Check(Adc().get_ChannelUnitOffset(&channel, &offset), "ChannelUnitOffset");
    return offset;
}

std::vector<std::u16string> Session::RangeNames() {
    SAFEARRAY* array = nullptr;
    {
        const auto guard = Lock();
        Check(Adc().get_Ranges(&array), "Ranges");
    }
    std::vector<std::u16string> names;
    void* data = nullptr;
    if (array != nullptr && SUCCEEDED(SafeArrayAccessData(array, &data))) {
        const auto* texts = static_cast<BSTR*>(data);
        for (ULONG i = 0; i < array->rgsabound[0].cElements; ++i)
            names.emplace_back(texts[i] != nullptr ? texts[i] : u"", SysStringLen(texts[i]));
        SafeArrayUnaccessData(array);
    }
    SafeArrayDestroy(array);
    return names;
}

float Session::Rate() {
    const auto guard = Lock();
    float rate = 0;
    Check(Adc().get_Rate(&rate), "Rate");
    return rate;
}

void Session::SetRate(float rate) {
    const auto guard = Lock();
    Check(Adc().put_Rate(&rate), "Rate");
}

int32_t Session::InputSize() {
    const auto guard = Lock();
    int32_t samples = 0;
    Check(Adc().get_InputSizeData(&samples), "InputSizeData");
    return samples;
}

void Session::SetInputSize(int32_t samples) {
    const auto guard = Lock();
    Check(Adc().put_InputSizeData(&samples), "InputSizeData");
}

bool Session::Start() {
    const auto guard = Lock();
    VARIANT_BOOL started = VARIANT_FALSE;
    Check(Adc().StartRecord(&started), "StartRecord");
    return started != VARIANT_FALSE;
}

void Session::Stop() {
    const auto guard = Lock();
    Check(Adc().StopRecord(), "StopRecord");
}

int16_t Session::Single(int16_t channel) {
    const auto guard = Lock();
    int16_t code = 0;
    Check(Adc().GetChannel(&channel, &code), "GetChannel");
    return code;
}

int32_t Session::GetData(int16_t* buffer, int32_t capacity) {
    const auto guard = Lock();
    int32_t count = capacity, rest = 0, kadrs = 0;
    Check(Adc().GetData(buffer, &count, &rest, &kadrs), "GetData");
    return kadrs;
}

int16_t Session::DacCount() {
    const auto guard = Lock();
    int16_t count = 0;
    Check(Dao().get_ChannelsCount(&count), "ChannelsCount");
    return count;
}

std::u16string Session::DacName(int16_t channel) {
    const auto guard = Lock();
    BSTR text = nullptr;
    Check(Dao().get_ChannelName(channel, &text), "ChannelName");
    return TakeText(text);
}

int32_t Session::DacCode(int16_t channel) {
    const auto guard = Lock();
    int32_t code = 0;
    Check(Dao().get_Value(channel, &code), "Value");
    return code;
}

void Session::SetDacCode(int16_t channel, int32_t code) {
    const auto guard = Lock();
    Check(Dao().put_Value(channel, code), "Value");
}

double Session::DacVolts(int16_t channel) {
    const auto guard = Lock();
    double volts = 0;
    Check(Dao().get_ValueReal(channel, &volts), "ValueReal");
    return volts;
}

void Session::SetDacVolts(int16_t channel, double volts) {
    const auto guard = Lock();
    Check(Dao().put_ValueReal(channel, volts), "ValueReal");
}

double Session::DacScale() {
    const auto guard = Lock();
    double scale = 0;
    Check(Dao().get_ChannelUnitScale(0, &scale), "ChannelUnitScale");
    return scale;
}

int32_t Session::DigitalInputs() {
    const auto guard = Lock();
    int32_t lines = 0;
    Check(Dio().get_DIValue(&lines), "DIValue");
    return lines;
}

int32_t Session::DigitalOutputs() {
    const auto guard = Lock();
    int32_t lines = 0;
    Check(Dio().get_DOValue(&lines), "DOValue");
    return lines;
}

void Session::SetDigitalOutputs(int32_t lines) {
    const auto guard = Lock();
    Check(Dio().put_DOValue(&lines), "DOValue");
}

int Session::DigitalInputCount() {
    const auto guard = Lock();
    uint8_t bits = 0;
    Check(Dio().get_DIBits(&bits), "DIBits");
    return bits;
}

int Session::DigitalOutputCount() {
    const auto guard = Lock();
    uint8_t bits = 0;
    Check(Dio().get_DOBits(&bits), "DOBits");
    return bits;
}

} // namespace lintara
