// Creation of registered in-process servers: the class's library is found
// through the store, loaded once per path and kept loaded, and asked for its
// class factory. Thread-safe: the library cache is guarded by a mutex.
#include "comrt/class_registry.h"

#include <cstdlib>
#include <dlfcn.h>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <sys/stat.h>

using namespace velmora::com;

namespace {

std::mutex cacheMutex;
std::map<std::string, void*> loadedLibraries; // path as registered -> dlopen handle

HRESULT LoadServerLibrary(const std::string& path, void** handle) {
    std::lock_guard lock(cacheMutex);
    if (auto it = loadedLibraries.find(path); it != loadedLibraries.end()) {
        *handle = it->second;
        return S_OK;
    }
    // A bare name is searched for on the library path, so only its load can tell.
    const bool hasFolder = path.find('/') != std::string::npos;
    struct stat info {};
    if (path.empty() || (hasFolder && ::stat(path.c_str(), &info) != 0)) return CO_E_DLLNOTFOUND;
    void* loaded = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (loaded == nullptr) return hasFolder ? CO_E_ERRORINDLL : CO_E_DLLNOTFOUND;
    loadedLibraries.emplace(path, loaded);
    *handle = loaded;
    return S_OK;
}

HRESULT ClassObjectFromServer(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    std::string path;
    HRESULT hr = InprocServerPath(rclsid, &path);
    void* library = nullptr;
    if (FAILED(hr) || FAILED(hr = LoadServerLibrary(path, &library))) return hr;
    auto getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(::dlsym(library, "DllGetClassObject"));
    if (getClassObject == nullptr) return CO_E_ERRORINDLL;
    hr = getClassObject(rclsid, riid, ppv);
    if (FAILED(hr)) *ppv = nullptr;
    return hr;
}

} // namespace

HRESULT CoInitialize(LPVOID) {
    return S_OK;
}

HRESULT CoInitializeEx(LPVOID, DWORD) {
    return S_OK;
}

void CoUninitialize() {}

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID, REFIID riid, LPVOID* ppv) {
    if (ppv == nullptr) return E_INVALIDARG;
    *ppv = nullptr;
    if ((dwClsContext & CLSCTX_INPROC_SERVER) == 0) return REGDB_E_CLASSNOTREG;
    try {
        return ClassObjectFromServer(rclsid, riid, ppv);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        // Thrown by the server's own code.
        return CO_E_ERRORINDLL;
    }
}

HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    IClassFactory* factory = nullptr;
    HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory,
                                  reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    if (factory == nullptr) return E_UNEXPECTED;
    try {
        hr = factory->CreateInstance(pUnkOuter, riid, ppv);
    } catch (...) {
        hr = E_UNEXPECTED;
    }
    factory->Release();
    if (FAILED(hr)) *ppv = nullptr;
    return hr;
}

LPVOID CoTaskMemAlloc(SIZE_T cb) {
    return std::malloc(cb);
}

LPVOID CoTaskMemRealloc(LPVOID pv, SIZE_T cb) {
    return std::realloc(pv, cb);
}

void CoTaskMemFree(LPVOID pv) {
    std::free(pv);
}
