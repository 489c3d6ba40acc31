#include "session.h"

#include "driver_access.h"

#include <atomic>
#include <mutex>

namespace lintara {
namespace {

std::mutex driverCalls;           // one caller at a time in the driver
std::atomic<int> openSessions{0}; // not yet closed
// The process's recordings, and the claim the last one was started for (0
// once it was stopped); under driverCalls.
uint64_t lastRun = 0;
uint64_t startedFor = 0;

std::unique_lock<std::mutex> Lock() {
    return std::unique_lock(driverCalls);
}

SAFEARRAY* Int16Vector(const std::vector<int16_t>& values) {
    SAFEARRAY* array = velmora::hosts::Int16Array(values);
    if (array == nullptr) throw DriverFailure("out of memory for the channel list");
    return array;
}

void Check(HRESULT hr, const char* member) {
    if (FAILED(hr)) throw DriverFailure(std::string(member) + " failed: " + velmora::hosts::HresultText(hr));
}

// A member that fills one out value, called under the lock.
template <typename Out, typename Call> Out Read(const char* member, Call call) {
    const auto guard = Lock();
    Out out{};
    Check(call(&out), member);
    return out;
}

// A member without an out value, called under the lock.
template <typename Call> void Write(const char* member, Call call) {
    const auto guard = Lock();
    Check(call(), member);
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
    registrationNote_ = EnsureRegistered(driver);
    adc_ = CreateDriver();
    Check(adc_.As(IID_IDAO, &dao_), "QueryInterface(IDAO)");
    Check(adc_.As(IID_IDIO, &dio_), "QueryInterface(IDIO)");
    module_ = velmora::hosts::ModuleOf(adc_.get());
    if (!module_) throw DriverFailure("the driver has no IModule interface: it is older than this package");
    ++openSessions;
    open_.store(true, std::memory_order_release);
}

Session::~Session() {
    Close();
}

void Session::Close() {
    const auto guard = Lock();
    if (!adc_) return;
    open_.store(false, std::memory_order_release);
    module_.reset();
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
IModule* Session::Module() {
    Adc();
    return module_.get();
}

bool Session::Test() {
    return Read<VARIANT_BOOL>("Test", [&](auto* out) { return Adc().Test(out); }) != VARIANT_FALSE;
}

bool Session::Detected() {
    return Read<VARIANT_BOOL>("Detected", [&](auto* out) { return Adc().get_Detected(out); }) !=
           VARIANT_FALSE;
}

bool Session::Busy() {
    return Read<VARIANT_BOOL>("Busy", [&](auto* out) { return Adc().get_Busy(out); }) != VARIANT_FALSE;
}

std::u16string Session::LastError() {
    return TakeText(Read<BSTR>("LastError", [&](auto* out) { return Adc().get_LastError(out); }));
}

std::vector<int16_t> Session::Channels() {
    return velmora::hosts::TakeInt16s(
        Read<SAFEARRAY*>("InputChannels", [&](auto* out) { return Adc().get_InputChannels(out); }));
}

void Session::SetChannels(const std::vector<int16_t>& channels) {
    const auto guard = Lock();
    SAFEARRAY* array = Int16Vector(channels);
    const HRESULT hr = Adc().put_InputChannels(&array);
    SafeArrayDestroy(array);
    Check(hr, "InputChannels");
}

std::u16string Session::ChannelName(int16_t channel) {
    return TakeText(
        Read<BSTR>("ChannelName", [&](auto* out) { return Adc().get_ChannelName(&channel, out); }));
}

int16_t Session::ChannelRange(int16_t channel) {
    return Read<int16_t>("ChannelRange", [&](auto* out) { return Adc().get_ChannelRange(&channel, out); });
}

void Session::SetChannelRange(int16_t channel, int16_t range) {
    Write("ChannelRange", [&] { return Adc().put_ChannelRange(&channel, &range); });
}

float Session::UnitScale(int16_t channel) {
    return Read<float>("ChannelUnitScale",
                       [&](auto* out) { return Adc().get_ChannelUnitScale(&channel, out); });
}

float Session::UnitOffset(int16_t channel) {
    return Read<float>("ChannelUnitOffset",
                       [&](auto* out) { return Adc().get_ChannelUnitOffset(&channel, out); });
}

std::vector<std::u16string> Session::RangeNames() {
    SAFEARRAY* array = Read<SAFEARRAY*>("Ranges", [&](auto* out) { return Adc().get_Ranges(out); });
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

// The module's rate unrounded: IADC3 Rate is only its float.
double Session::Rate() {
    return Read<double>("KadrRate", [&](auto* out) { return Module()->get_KadrRate(out); });
}

void Session::SetRate(float rate) {
    Write("Rate", [&] { return Adc().put_Rate(&rate); });
}

int32_t Session::InputSize() {
    return Read<int32_t>("InputSizeData", [&](auto* out) { return Adc().get_InputSizeData(out); });
}

void Session::SetInputSize(int32_t samples) {
    Write("InputSizeData", [&] { return Adc().put_InputSizeData(&samples); });
}

uint64_t Session::Start(uint64_t claim) {
    const auto guard = Lock();
    VARIANT_BOOL started = VARIANT_FALSE;
    Check(Adc().StartRecord(&started), "StartRecord");
    if (started == VARIANT_FALSE) return 0;
    startedFor = claim;
    return ++lastRun;
}

void Session::Stop() {
    const auto guard = Lock();
    startedFor = 0;
    Check(Adc().StopRecord(), "StopRecord");
}

void Session::StopOwn(uint64_t claim) {
    const auto guard = Lock();
    if (!adc_ || claim == 0 || claim != startedFor) return;
    startedFor = 0;
    Check(Adc().StopRecord(), "StopRecord");
}

uint64_t Session::LastRun() {
    const auto guard = Lock();
    return lastRun;
}

int16_t Session::Single(int16_t channel) {
    return Read<int16_t>("GetChannel", [&](auto* out) { return Adc().GetChannel(&channel, out); });
}

int32_t Session::GetData(int16_t* buffer, int32_t capacity, uint64_t run) {
    const auto guard = Lock();
    if (run != lastRun) return 0;
    int32_t count = capacity, rest = 0, kadrs = 0;
    Check(Adc().GetData(buffer, &count, &rest, &kadrs), "GetData");
    return kadrs;
}

int16_t Session::DacCount() {
    return Read<int16_t>("ChannelsCount", [&](auto* out) { return Dao().get_ChannelsCount(out); });
}

std::u16string Session::DacName(int16_t channel) {
    return TakeText(
        Read<BSTR>("ChannelName", [&](auto* out) { return Dao().get_ChannelName(channel, out); }));
}

int32_t Session::DacCode(int16_t channel) {
    return Read<int32_t>("Value", [&](auto* out) { return Dao().get_Value(channel, out); });
}

void Session::SetDacCode(int16_t channel, int32_t code) {
    Write("Value", [&] { return Dao().put_Value(channel, code); });
}

double Session::DacVolts(int16_t channel) {
    return Read<double>("ValueReal", [&](auto* out) { return Dao().get_ValueReal(channel, out); });
}

void Session::SetDacVolts(int16_t channel, double volts) {
    Write("ValueReal", [&] { return Dao().put_ValueReal(channel, volts); });
}

double Session::DacScale() {
    return Read<double>("ChannelUnitScale", [&](auto* out) { return Dao().get_ChannelUnitScale(0, out); });
}

velmora::hosts::ModuleIdentity Session::Identity() {
    const auto guard = Lock();
    return velmora::hosts::IdentifyModule(Module());
}

void Session::SetAddress(const std::string& address) {
    const auto guard = Lock();
    std::string error;
    if (!velmora::hosts::SetModuleAddress(Module(), address, error)) throw DriverFailure(error);
}

bool Session::Connected() {
    return Read<VARIANT_BOOL>("Connected", [&](auto* out) { return Module()->get_Connected(out); }) !=
           VARIANT_FALSE;
}

double Session::KadrsReceived() {
    return Read<double>("KadrsReceived", [&](auto* out) { return Module()->get_KadrsReceived(out); });
}

double Session::StartTime() {
    const auto guard = Lock();
    return velmora::hosts::StartTime(Module());
}

std::string Session::EndReason() {
    const auto guard = Lock();
    return velmora::hosts::EndReason(Module());
}

void Session::SaveSettings() {
    const auto guard = Lock();
    std::string reason;
    if (!velmora::hosts::SaveSettings(Module(), adc_.get(), reason))
        throw DriverFailure("SaveSettings failed", reason);
}

void Session::CloseModule() {
    Write("Close", [&] { return Module()->Close(); });
}

int32_t Session::DigitalInputs() {
    return Read<int32_t>("DIValue", [&](auto* out) { return Dio().get_DIValue(out); });
}

int32_t Session::DigitalOutputs() {
    return Read<int32_t>("DOValue", [&](auto* out) { return Dio().get_DOValue(out); });
}

void Session::SetDigitalOutputs(int32_t lines) {
    Write("DOValue", [&] { return Dio().put_DOValue(&lines); });
}

int Session::DigitalInputCount() {
    return Read<uint8_t>("DIBits", [&](auto* out) { return Dio().get_DIBits(out); });
}

int Session::DigitalOutputCount() {
    return Read<uint8_t>("DOBits", [&](auto* out) { return Dio().get_DOBits(out); });
}

} // namespace lintara
