#include "module_info.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace velmora::hosts {

std::string Utf8(BSTR text) {
    std::string out;
    const UINT length = SysStringLen(text);
    for (UINT i = 0; i < length; ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        else if (c >= 0xD800 && c < 0xE000)
            c = 0xFFFD;
        // The lead byte, then six bits a byte from the top.
        const int extra = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
        static constexpr unsigned char kLead[] = {0x00, 0xC0, 0xE0, 0xF0};
        out += static_cast<char>(kLead[extra] | (c >> (6 * extra)));
        for (int k = extra - 1; k >= 0; --k) out += static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F));
    }
    return out;
}

std::string TakeUtf8(BSTR text) {
    std::string out = Utf8(text);
    SysFreeString(text);
    return out;
}

namespace {

// The code point of the UTF-8 sequence at text[i], advancing i; U+FFFD for a
// bad one: a stray byte, a cut or overlong sequence, a surrogate, past U+10FFFF.
char32_t NextCodePoint(const std::string& text, std::size_t& i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i++);
    if (lead < 0x80) return lead;
    const int extra = lead >= 0xC2 && lead < 0xE0   ? 1
                      : lead >= 0xE0 && lead < 0xF0 ? 2
                      : lead >= 0xF0 && lead < 0xF5 ? 3
                                                    : -1;
    if (extra < 0 || i + static_cast<std::size_t>(extra) > text.size()) return 0xFFFD;
    char32_t c = lead & (0x3F >> extra);
    for (int k = 0; k < extra; ++k) {
        if ((byte(i) & 0xC0) != 0x80) return 0xFFFD;
        c = c << 6 | (byte(i++) & 0x3F);
    }
    static constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
    const bool fits = c >= kLeast[extra] && c <= 0x10FFFF && (c < 0xD800 || c >= 0xE000);
    return fits ? c : 0xFFFD;
}

} // namespace

BSTR NewBstr(const std::string& utf8) {
    std::u16string wide;
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t c = NextCodePoint(utf8, i);
        if (c < 0x10000) {
            wide.push_back(static_cast<char16_t>(c));
        } else {
            wide.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            wide.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        }
    }
    return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

ComPtr<IModule> ModuleOf(IUnknown* face) {
    ComPtr<IModule> module;
    if (face != nullptr) face->QueryInterface(IID_IModule, module.put_void());
    return module;
}

bool SetModuleAddress(IModule* module, const std::string& address, std::string& error) {
    if (module == nullptr) {
        error = "the driver has no IModule interface";
        return false;
    }
    BSTR text = NewBstr(address);
    module->put_Address(text);
    SysFreeString(text);
    if (address.empty()) return true; // Address then reads the open or the lost module's
    BSTR taken = nullptr;
    module->get_Address(&taken);
    if (TakeUtf8(taken) == address) return true;
    error = "the driver did not take the address " + address;
    return false;
}

std::string ShortBackend(const std::string& backend) {
    const std::size_t version = backend.rfind(", version ");
    const std::size_t path = backend.find('/');
    if (version == std::string::npos || path == std::string::npos || path > version) return backend;
    const std::size_t end = backend[version - 1] == ')' ? version - 1 : version;
    const std::size_t name = backend.rfind('/', end - 1) + 1;
    return backend.substr(0, path) + backend.substr(name);
}

ModuleIdentity IdentifyModule(IModule* module) {
    ModuleIdentity id;
    if (module == nullptr) return id;
    const auto text = [&](HRESULT (STDMETHODCALLTYPE IModule::*get)(BSTR*)) {
        BSTR value = nullptr;
        (module->*get)(&value);
        return TakeUtf8(value);
    };
    id.serial = text(&IModule::get_SerialNumber);
    id.name = text(&IModule::get_ModuleName);
    id.backend = text(&IModule::get_Backend);
    id.address = text(&IModule::get_Address);
    return id;
}

std::string EndReason(IModule* module) {
    BSTR text = nullptr;
    if (module != nullptr) module->get_EndReason(&text);
    return TakeUtf8(text);
}

std::string LastError(IADC3* adc) {
    BSTR text = nullptr;
    if (adc != nullptr) adc->get_LastError(&text);
    return TakeUtf8(text);
}

std::string WhyEnded(IModule* module, IADC3* adc) {
    const std::string why = EndReason(module);
    return why.empty() ? LastError(adc) : why;
}

double KadrRate(IModule* module, IADC3* adc) {
    double exact = 0;
    if (module != nullptr && module->get_KadrRate(&exact) == S_OK) return exact;
    float rounded = 0;
    if (adc != nullptr) adc->get_Rate(&rounded);
    return rounded;
}

double StartTime(IModule* module) {
    double seconds = 0;
    if (module != nullptr) module->get_StartTime(&seconds);
    return seconds;
}

std::string IsoUtc(double seconds) {
    if (!(seconds > 0)) return {};
    // The nearest millisecond, carried into the second (and the day) it rounds to.
    const long long total = std::llround(seconds * 1000.0);
    const auto time = static_cast<std::time_t>(total / 1000);
    const int millis = static_cast<int>(total % 1000);
    std::tm utc{};
    gmtime_r(&time, &utc);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, millis);
    return text;
}

bool SaveSettings(IModule* module, IADC3* adc, std::string& error) {
    VARIANT_BOOL saved = VARIANT_FALSE;
    if (module == nullptr || FAILED(module->SaveSettings(&saved))) {
        error = "the driver cannot save its settings";
        return false;
    }
    if (saved != VARIANT_FALSE) return true;
    error = LastError(adc);
    if (error.empty()) error = "the driver did not save its settings and gave no reason";
    return false;
}

std::string RangeRefusal(int range, const std::vector<std::string>& ranges) {
    if (range >= 0 && static_cast<std::size_t>(range) < ranges.size()) return {};
    std::string error = "the driver has no range " + std::to_string(range) + "; its ranges are";
    // Each name in brackets: under a decimal comma it has commas of its own.
    for (std::size_t i = 0; i < ranges.size(); ++i)
        error += (i > 0 ? ", " : " ") + std::to_string(i) + " (" + ranges[i] + ")";
    return error;
}

std::vector<std::string> RangeNames(IADC3* adc) {
    std::vector<std::string> names;
    SAFEARRAY* ranges = nullptr;
    if (FAILED(adc->get_Ranges(&ranges)) || ranges == nullptr) return names;
    BSTR* items = nullptr;
    if (SUCCEEDED(SafeArrayAccessData(ranges, reinterpret_cast<void**>(&items)))) {
        for (ULONG i = 0; i < ranges->rgsabound[0].cElements; ++i) names.push_back(Utf8(items[i]));
        SafeArrayUnaccessData(ranges);
    }
    SafeArrayDestroy(ranges);
    return names;
}

} // namespace velmora::hosts
