// comrt-register [-u] [--store DIR] FILE: registers (or with -u unregisters)
// an in-process server library by calling its DllRegisterServer
// (DllUnregisterServer), in the user's registry store or in DIR's.
#include "comrt/guid_text.h"
#include "comrt/hresult_text.h"

#include <velmora/com.h>
#include <velmora/registry_store.h>

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>

namespace {

struct Options {
    bool unregister = false;
    std::string store; // a config folder instead of XDG_CONFIG_HOME's
    std::string file;
};

void PrintUsage(std::FILE* out) {
    std::fputs("Usage: comrt-register [-u] [--store DIR] FILE\n"
               "Registers the in-process server library FILE by calling its DllRegisterServer.\n"
               "  -u           unregister instead, calling DllUnregisterServer\n"
               "  --store DIR  use the registry store DIR/velmora/registry.db instead of the\n"
               "               user's (the one a program started with XDG_CONFIG_HOME=DIR uses)\n",
               out);
}

// False for arguments that do not make one command.
bool ParseArguments(int argc, char** argv, Options* options) {
    for (int k = 1; k < argc; ++k) {
        const std::string_view arg = argv[k];
        if (arg == "-u" || arg == "/u")
            options->unregister = true;
        else if (arg == "--store" && k + 1 < argc && *argv[k + 1] != '\0')
            options->store = std::filesystem::absolute(argv[++k]).string(); // a relative one means ~/.config
        else if (arg.empty() || arg[0] == '-' || !options->file.empty())
            return false;
        else
            options->file = arg;
    }
    return !options->file.empty();
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "comrt-register: %s\n", message.c_str());
    return 1;
}

// Whether the store can be written, tried on the key every registration
// writes under; false with the store named and the reason said.
bool StoreWritable() {
    namespace reg = velmora::reg;
    reg::HKEY key = 0;
    const reg::LONG code =
        reg::RegCreateKeyEx(reg::HKEY_CLASSES_ROOT, "CLSID", reg::KEY_WRITE, &key, nullptr);
    if (code == reg::ERROR_SUCCESS) {
        reg::RegCloseKey(key);
        return true;
    }
    std::string reason = reg::FormatMessage(static_cast<reg::DWORD>(code));
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) reason.pop_back();
    Fail("the registry store " + reg::StorePath() + " cannot be written: " + reason);
    return false;
}

int Run(const Options& options) {
    const std::string path = std::filesystem::absolute(options.file).lexically_normal().string();
    const char* entry = options.unregister ? "DllUnregisterServer" : "DllRegisterServer";
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return Fail("cannot load \"" + path + "\": file not found");
    // The store keeps its texts in Latin-1, as Windows programs' ANSI calls
    // see them; the library would refuse the path with a bare class error.
    if (std::string latin1; !options.unregister && !velmora::com::Utf8ToLatin1(path, &latin1))
        return Fail("cannot register \"" + path +
                    "\": the registry store keeps paths in Latin-1, and this one " +
                    "has other characters; put the library in a folder whose path has none");
    void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* reason = ::dlerror();
        return Fail("cannot load \"" + path + "\": " + (reason != nullptr ? reason : "not a library"));
    }
    auto call = reinterpret_cast<LPFNREGISTERSERVER>(::dlsym(library, entry));
    if (call == nullptr) {
        return Fail("\"" + path + "\" was loaded, but the entry point " + entry + " was not found");
    }
    const HRESULT hr = call();
    // A store that cannot be written fails a library as it would any other:
    // then the store is named, not the library.
    if (FAILED(hr) &&
        (hr == HRESULT_FROM_WIN32(velmora::reg::ERROR_ACCESS_DENIED) ||
         hr == HRESULT_FROM_WIN32(velmora::reg::ERROR_PATH_NOT_FOUND)) &&
        !StoreWritable())
        return 1;
    if (FAILED(hr))
        return Fail(std::string(entry) + " in \"" + path + "\" failed: " + velmora::com::HResultText(hr));
    std::printf("%s in \"%s\" succeeded.\n", entry, path.c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::string_view(argv[1]) == "-h" || std::string_view(argv[1]) == "--help")) {
        PrintUsage(stdout);
        return 0;
    }
    Options options;
    if (!ParseArguments(argc, argv, &options)) {
        PrintUsage(stderr);
        return 1;
    }
    // The store follows XDG_CONFIG_HOME at every call, so setting it before the
    // first one is all it takes.
    if (!options.store.empty()) ::setenv("XDG_CONFIG_HOME", options.store.c_str(), 1);
    try {
        return Run(options);
    } catch (const std::exception& e) {
        return Fail(e.what());
    } catch (...) {
        return Fail("the server library threw an exception");
    }
}
