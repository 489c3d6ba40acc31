// IModule members: each settles what the worker left, then reads a field or
// calls one operation.
#include "driver/module_face.h"

#include "driver/host_values.h"
#include "engine/operations.h"
#include "ui/dialogs.h"
#include "ui/setup_model.h"
#include "velmora/dotted_address.h"

namespace velmora::driver {

HRESULT ModuleFace::get_Address(BSTR* result) {
    return GetValue(result, [this] {
        const int32_t address = engine::Settle(s_).module.Address();
        return ToBstr(address != 0 ? DottedText(address) : std::string());
    });
}

// Text that is no address is ignored: the host reads Address back.
HRESULT ModuleFace::put_Address(BSTR Address) {
    return Run([&] {
        const std::string text = FromBstr(Address);
        if (text.empty()) {
            s_.module.hostAddress = 0;
        } else if (const auto address = ParseDotted(text); address && *address != 0) {
            s_.module.hostAddress = *address;
            // The lost module's own address still opens it as the lost one.
            if (*address != s_.module.lostAddress) s_.module.lostAddress = 0;
        }
    });
}

HRESULT ModuleFace::get_SerialNumber(BSTR* result) {
    return GetValue(result, [this] { return ToBstr(s_.module.serialNumber); });
}

HRESULT ModuleFace::get_ModuleName(BSTR* result) {
    return GetValue(result, [this] {
        const engine::ModuleLink& m = s_.module;
        return ToBstr(m.boardName.empty() ? std::string() : m.boardName + " rev. " + m.boardRevision);
    });
}

HRESULT ModuleFace::get_Backend(BSTR* result) {
    return GetValue(result, [this] { return ToBstr(s_.module.backend); });
}

HRESULT ModuleFace::get_Connected(VARIANT_BOOL* result) {
    return GetValue(result, [this] { return ToVariantBool(engine::Settle(s_).module.Connected()); });
}

HRESULT ModuleFace::get_KadrsReceived(double* result) {
    return GetValue(result, [this] { return static_cast<double>(s_.ring.Produced()); });
}

HRESULT ModuleFace::get_KadrRate(double* result) {
    return GetValue(result, [this] { return engine::GetKadrRate(s_); });
}

HRESULT ModuleFace::get_StartTime(double* result) {
    return GetValue(result, [this] { return s_.acquisition.FirstKadrTime(); });
}

HRESULT ModuleFace::get_EndReason(BSTR* result) {
    return GetValue(result, [this] { return ToBstr(engine::Settle(s_).endReason); });
}

HRESULT ModuleFace::SaveSettings(VARIANT_BOOL* result) {
    return GetValue(result, [this] { return ToVariantBool(engine::SaveSettingsNow(s_)); });
}

HRESULT ModuleFace::Close() {
    return Run([this] { engine::CloseModule(s_); });
}

// The chooser a detection without an address shows, over the same
// remembered list; the choice is only returned ("" when none): a host that
// wants it opened puts it into Address.
HRESULT ModuleFace::ChooseAddress(BSTR* result) {
    return GetValue(result, [this] {
        const int32_t address = ui::CurrentDialogs().SelectIP(s_.input.adcName);
        return ToBstr(address != 0 ? DottedText(address) : std::string());
    });
}

// IADC3 ShowSetting, telling the host what came of it.
HRESULT ModuleFace::ShowSetup(int32_t* result) {
    return GetValue(result, [this] { return static_cast<int32_t>(ui::ShowSetupDialog(engine::Settle(s_))); });
}

} // namespace velmora::driver
