// The library's four exports: the class factory of Lintara, the unload check
// and self-registration under HKEY_CLASSES_ROOT of the registry store.
#include <velmora/interfaces.h>
#include <velmora/registry_store.h>
#include <velmora/server_registration.h>

#include <atomic>
#include <dlfcn.h>
#include <filesystem>
#include <string>
#include <vector>

#include "driver/host_values.h"
#include "driver/lintara.h"

#define VELMORA_EXPORT extern "C" __attribute__((visibility("default")))

namespace velmora::driver {
namespace {

// LockServer(TRUE) calls not yet undone; read by DllCanUnloadNow on any thread.
std::atomic<int32_t> serverLocks{0};

class ClassFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // The factory is static: it lives as long as the library.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        return Lintara::Create(riid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        serverLocks.fetch_add(lock ? 1 : -1, std::memory_order_acq_rel);
        return S_OK;
    }
};

ClassFactory factory;

// User controls of the setup dialog. Hosts may look their ProgIDs up; they
// are shown by the driver itself and cannot be created through the runtime,
// so they get no InprocServer32.
struct UserControl {
    const char* progId;
    const char* name;
    CLSID clsid;
};

constexpr UserControl kUserControls[] = {
    {"Velmora.ucGeneral",
     "ucGeneral",
     {0x982AA1B9, 0xBA03, 0x4BBE, {0xAF, 0x9E, 0x83, 0xEA, 0xCF, 0x64, 0xF5, 0x6A}}},
    {"Velmora.ucADC",
     "ucADC",
     {0xE29FF3DA, 0x30DC, 0x45A0, {0x9F, 0x9D, 0xD5, 0x73, 0x9D, 0x96, 0x8F, 0xFB}}},
    {"Velmora.ucDAC",
     "ucDAC",
     {0x15ED858A, 0x624E, 0x4732, {0xA4, 0x30, 0x9F, 0xA3, 0x62, 0xE0, 0xDB, 0x50}}},
    {"Velmora.ucDIO",
     "ucDIO",
     {0x82E383CD, 0xF027, 0x4A21, {0xAA, 0xDF, 0xCF, 0x1F, 0x99, 0x8C, 0xB8, 0xF7}}},
    {"Velmora.ucIP", "ucIP", {0x10C3EE42, 0xF354, 0x495C, {0x80, 0x44, 0xE6, 0x42, 0x87, 0xEE, 0xB7, 0x20}}},
};

// Internal linkage: its address lies in this library whoever else links the
// same static code.
void LibraryAnchor() {}

// The library's own file as it was loaded, symbolic links kept, so a driver
// linked into another folder registers that folder.
std::string LibraryFile() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<const void*>(&LibraryAnchor), &info) == 0 || info.dli_fname == nullptr)
        return {};
    std::error_code ec;
    const std::filesystem::path file = std::filesystem::absolute(info.dli_fname, ec);
    return ec ? std::string{} : file.lexically_normal().string();
}

std::string GuidText(const GUID& guid) {
    OLECHAR text[40] = {};
    const int length = StringFromGUID2(guid, text, 40); // characters with the NUL
    std::string ascii;
    for (int i = 0; i + 1 < length; ++i) ascii.push_back(static_cast<char>(text[i]));
    return ascii;
}

// A default or named text value, stored with its NUL as the runtime reads it.
void AddText(std::vector<reg::RegBatchWrite>& writes, const std::string& path, const char* name,
             const std::string& value) {
    writes.push_back({path, name, reg::REG_SZ, {value.begin(), value.end()}, false});
    writes.back().data.push_back(0);
}

void AddUserControl(std::vector<reg::RegBatchWrite>& writes, const UserControl& control) {
    const std::string clsid = GuidText(control.clsid);
    const std::string classKey = "CLSID\\" + clsid;
    AddText(writes, control.progId, "", control.name);
    AddText(writes, std::string(control.progId) + "\\CLSID", "", clsid);
    AddText(writes, classKey, "", control.name);
    AddText(writes, classKey + "\\ProgID", "", control.progId);
}

// The driver's own interface under Interface\{IID}, named and tied to the
// type library, as hosts that browse the store expect.
void AddInterface(std::vector<reg::RegBatchWrite>& writes) {
    const std::string key = "Interface\\" + GuidText(IID_IModule);
    AddText(writes, key, "", "IModule");
    AddText(writes, key + "\\TypeLib", "", GuidText(LIBID_Velmora));
    AddText(writes, key + "\\TypeLib", "Version", "1.0");
    AddText(writes, "TypeLib\\" + GuidText(LIBID_Velmora) + "\\1.0", "", "Velmora");
}

// The interface's keys: Interface\{IID} and the type library's key.
void RemoveInterface() {
    const std::string iface = "Interface\\" + GuidText(IID_IModule);
    const std::string library = "TypeLib\\" + GuidText(LIBID_Velmora);
    for (const std::string& key : {iface + "\\TypeLib", iface, library + "\\1.0", library})
        reg::RegDeleteKey(reg::HKEY_CLASSES_ROOT, key.c_str());
}

// The ProgID as the store's keys name it (it is ASCII).
std::string ProgId() {
    return {std::begin(PROGID_Lintara), std::end(PROGID_Lintara) - 1};
}

// The class, then the rest in one transaction; a store failure comes back as
// its Win32 code, so the caller can say why.
HRESULT RegisterAll() {
    const std::string file = LibraryFile();
    HRESULT hr = com::RegisterInprocServer(CLSID_Lintara, ProgId(), "Lintara", file);
    if (FAILED(hr)) return hr;
    std::vector<reg::RegBatchWrite> writes;
    AddText(writes, "CLSID\\" + GuidText(CLSID_Lintara) + "\\InprocServer32", "ThreadingModel", "Apartment");
    for (const UserControl& control : kUserControls) AddUserControl(writes, control);
    AddInterface(writes);
    const reg::LONG rc =
        reg::RegWriteBatch(reg::HKEY_CLASSES_ROOT, writes.data(), static_cast<reg::DWORD>(writes.size()));
    return rc == reg::ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<uint32_t>(rc));
}

HRESULT UnregisterAll() {
    HRESULT result = com::UnregisterInprocServer(CLSID_Lintara, ProgId());
    for (const UserControl& control : kUserControls) {
        const HRESULT hr = com::UnregisterInprocServer(control.clsid, control.progId);
        if (FAILED(hr)) result = hr;
    }
    RemoveInterface();
    return result;
}

} // namespace
} // namespace velmora::driver

using velmora::driver::Firewall;

VELMORA_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!(rclsid == CLSID_Lintara)) return CLASS_E_CLASSNOTAVAILABLE;
    return velmora::driver::factory.QueryInterface(riid, object);
}

VELMORA_EXPORT HRESULT DllCanUnloadNow() {
    const bool idle = velmora::driver::Lintara::LiveObjects() == 0 &&
                      velmora::driver::serverLocks.load(std::memory_order_acquire) <= 0;
    return idle ? S_OK : S_FALSE;
}

VELMORA_EXPORT HRESULT DllRegisterServer() {
    return Firewall([] { return velmora::driver::RegisterAll(); });
}

VELMORA_EXPORT HRESULT DllUnregisterServer() {
    return Firewall([] { return velmora::driver::UnregisterAll(); });
}
