#include "driver_session.h"

#include "comrt/hresult_text.h"
#include "platform/codepage.h"
#include "platform/module_folder.h"

#include <velmora/registry_store.h>

#include <dlfcn.h>
#include <vector>

namespace e16rec {
namespace {

namespace reg = velmora::reg;

HRESULT CreateByProgId(void** adc) {
    const std::u16string progId = velmora::platform::Utf8ToUtf16(PROGID_Lintara);
    CLSID clsid{};
    const HRESULT hr = CLSIDFromProgID(progId.c_str(), &clsid);
    if (FAILED(hr)) return hr;
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IADC3, adc);
}

// Registers Lintara.adc from this program's folder, as comrt-register would.
bool RegisterDriver(std::string& error) {
    const auto path = velmora::platform::ModuleFolder() / "Lintara.adc";
    void* library = ::dlopen(path.c_str(), RTLD_NOW);
    if (library == nullptr) {
        error = "cannot load " + path.string() + ": " + ::dlerror();
        return false;
    }
    using RegisterFn = HRESULT (*)();
    auto registerServer = reinterpret_cast<RegisterFn>(::dlsym(library, "DllRegisterServer"));
    const HRESULT hr = registerServer != nullptr ? registerServer() : E_FAIL;
    ::dlclose(library);
    if (FAILED(hr)) error = "cannot register " + path.string() + ": " + HresultText(hr);
    return SUCCEEDED(hr);
}

bool NeedsRegistration(HRESULT hr) {
    return hr == REGDB_E_CLASSNOTREG || hr == CO_E_CLASSSTRING || hr == CO_E_DLLNOTFOUND;
}

} // namespace

bool DriverSession::Create(std::string& error) {
    HRESULT hr = CreateByProgId(adc_.put_void());
    if (NeedsRegistration(hr)) {
        if (!RegisterDriver(error)) return false;
        hr = CreateByProgId(adc_.put_void());
    }
    if (FAILED(hr)) {
        adc_.reset();
        error = "cannot create " + std::string(PROGID_Lintara) + ": " + HresultText(hr);
        return false;
    }
    return true;
}

bool DetectModule(IADC3* adc, std::string& error) {
    VARIANT_BOOL detected = VARIANT_FALSE;
    adc->Test(&detected);
    if (detected) return true;
    BSTR text = nullptr;
    adc->get_LastError(&text);
    error = "no module: " + ToUtf8(text);
    SysFreeString(text);
    return false;
}

bool StoreChannelTable(bool singleEnded, std::string& error) {
    std::vector<uint8_t> table(32);
    for (int k = 0; k < 32; ++k) table[k] = static_cast<uint8_t>(k | (singleEnded ? 32 : 0));
    reg::HKEY key = 0;
    LONG rc = reg::RegCreateKeyEx(reg::HKEY_CURRENT_USER, "Software\\Tervan\\ADC\\L-Card\\E16",
                                  reg::KEY_WRITE, &key, nullptr);
    if (rc == reg::ERROR_SUCCESS) {
        rc = reg::RegSetValueEx(key, "ADChannels", reg::REG_BINARY, table.data(), 32);
        reg::RegCloseKey(key);
    }
    if (rc != reg::ERROR_SUCCESS) error = "cannot store the channel table: " + reg::FormatMessage(rc);
    return rc == reg::ERROR_SUCCESS;
}

std::string ToUtf8(BSTR text) {
    return velmora::platform::Utf16ToUtf8(
        std::u16string_view(text != nullptr ? text : u"", SysStringLen(text)));
}

std::string HresultText(HRESULT hr) {
    return velmora::com::HResultText(hr);
}

} // namespace e16rec
