// record_volts: a small host of the Lintara driver. It creates the driver by
// its ProgID, detects the module (at ADDRESS without asking, through
// IModule, or through the driver's chooser), selects channels 0..3, records
// N kadrs (default 8) draining them with GetData, and prints them in volts.
// A recording that the driver ends (a lost module) ends it with the reason.
//
//   record_volts [N [ADDRESS]]
//
// The driver must be registered first: comrt-register PREFIX/lib/velmora/Lintara.adc
#include <velmora/com_ptr.h>
#include <velmora/interfaces.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

// The driver's texts are BSTRs of UTF-16; ASCII is enough here.
std::string Narrow(BSTR text) {
    std::string narrow;
    for (UINT i = 0; i < SysStringLen(text); ++i) narrow += static_cast<char>(text[i]);
    return narrow;
}

// A member's text, the BSTR freed.
std::string Take(BSTR text) {
    std::string narrow = Narrow(text);
    SysFreeString(text);
    return narrow;
}

std::string LastError(IADC3* adc) {
    BSTR text = nullptr;
    adc->get_LastError(&text);
    return Take(text);
}

// ASCII to a new BSTR.
BSTR Wide(const char* text) {
    std::u16string wide(text, text + std::char_traits<char>::length(text));
    return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

int Fail(const std::string& what) {
    std::fprintf(stderr, "record_volts: %s\n", what.c_str());
    return 1;
}

std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

// N: a whole number of kadrs within reason, or 0.
long Kadrs(const char* text) {
    char* end = nullptr;
    const long n = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && n >= 1 && n <= 1000000 ? n : 0;
}

} // namespace

int main(int argc, char** argv) {
    const long wanted = argc > 1 ? Kadrs(argv[1]) : 8;
    if (wanted == 0) return Fail("N must be a number of kadrs from 1 to 1000000");

    CLSID clsid{};
    if (FAILED(CLSIDFromProgID(PROGID_Lintara, &clsid))) return Fail("the driver is not registered");
    velmora::ComPtr<IADC3> adc;
    // A registered driver whose file is gone or not loadable fails here.
    const HRESULT made = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IADC3, adc.put_void());
    if (made == CO_E_DLLNOTFOUND || made == CO_E_ERRORINDLL)
        return Fail("the registered driver file is gone or cannot be loaded (" + Hex(made) +
                    "): register it again with comrt-register");
    if (FAILED(made)) return Fail("cannot create the driver: " + Hex(made));

    // IModule: the module to open, its name, and why a recording ended.
    velmora::ComPtr<IModule> module;
    if (FAILED(adc->QueryInterface(IID_IModule, module.put_void()))) return Fail("the driver has no IModule");
    if (argc > 2) {
        BSTR address = Wide(argv[2]);
        module->put_Address(address);
        SysFreeString(address);
        // Text that is no address is ignored: read it back.
        BSTR taken = nullptr;
        module->get_Address(&taken);
        if (Take(taken).empty())
            return Fail(std::string("'") + argv[2] + "' is no address such as 127.0.0.1");
    }

    VARIANT_BOOL found = VARIANT_FALSE;
    adc->Test(&found);
    const std::string why = found ? std::string() : LastError(adc.get());
    if (!found) return Fail(why.empty() ? "no module chosen" : "no module: " + why);
    BSTR serial = nullptr;
    module->get_SerialNumber(&serial);
    std::fprintf(stderr, "record_volts: module %s\n", Take(serial).c_str());

    // The selection: logical channels 0..3, one SAFEARRAY of 16-bit numbers.
    const int16_t channels[] = {0, 1, 2, 3};
    SAFEARRAY* list = SafeArrayCreateVector(VT_I2, 0, 4);
    void* data = nullptr;
    SafeArrayAccessData(list, &data);
    std::copy(std::begin(channels), std::end(channels), static_cast<int16_t*>(data));
    SafeArrayUnaccessData(list);
    adc->put_InputChannels(&list);
    SafeArrayDestroy(list);
    float rate = 1000;
    adc->put_Rate(&rate);

    std::vector<float> scale(4);
    for (int16_t i = 0; i < 4; ++i) {
        int16_t index = i;
        adc->get_ChannelUnitScale(&index, &scale[i]);
    }

    VARIANT_BOOL started = VARIANT_FALSE;
    adc->StartRecord(&started);
    if (!started) return Fail("cannot start: " + LastError(adc.get()));
    // GetData copies whole kadrs, at most `count` samples, and says how
    // many samples are still waiting in `rest`.
    std::vector<int16_t> codes(static_cast<std::size_t>(wanted) * 4);
    long received = 0;
    while (received < wanted) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        int32_t count = static_cast<int32_t>((wanted - received) * 4), rest = 0, kadrs = 0;
        adc->GetData(codes.data() + received * 4, &count, &rest, &kadrs);
        received += kadrs;
        VARIANT_BOOL busy = VARIANT_TRUE;
        adc->get_Busy(&busy);
        if (kadrs == 0 && !busy) {
            BSTR why = nullptr;
            module->get_EndReason(&why); // before StopRecord, which clears it
            return Fail("the recording ended: " + Take(why));
        }
    }
    adc->StopRecord();

    for (long k = 0; k < wanted; ++k) {
        for (int c = 0; c < 4; ++c) std::printf(c < 3 ? "%9.5f " : "%9.5f\n", codes[k * 4 + c] / scale[c]);
    }
    return 0;
}
