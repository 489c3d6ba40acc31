// Shared test fixtures: a temporary folder that removes itself, and a scoped
// environment variable, so no test touches the developer's own store or files;
// whether a library is loaded; a program run as a user runs it; a wait for
// a condition another thread brings about.
#pragma once

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velmora::test {

// Polls `holds` every few ms until it is true or `limit` has passed.
inline bool Eventually(const std::function<bool()>& holds,
                       std::chrono::milliseconds limit = std::chrono::seconds(3)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!holds()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "velmora-test-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    // The variable unset for the scope.
    ScopedEnv(const char* name, std::nullopt_t) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

// Whether the library is already in the process; never loads it.
inline bool IsLoaded(const std::string& library) {
    void* handle = ::dlopen(library.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle != nullptr) ::dlclose(handle);
    return handle != nullptr;
}

// A private registry store for the lifetime of the object.
class PrivateStore {
public:
    PrivateStore() : env_("XDG_CONFIG_HOME", dir_.str()) {}
    const TempDir& dir() const { return dir_; }

private:
    TempDir dir_;
    ScopedEnv env_;
};

// A line's fields, or with '\n' a text's lines.
inline std::vector<std::string> Split(const std::string& text, char by = ',') {
    std::vector<std::string> parts;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, by);) parts.push_back(part);
    return parts;
}

inline std::string Slurp(const std::filesystem::path& file) {
    std::ostringstream text;
    text << std::ifstream(file, std::ios::binary).rdbuf();
    return text.str();
}

// A shell command's exit status and what it wrote, caught in files of `folder`.
struct Ran {
    int exit = -1;
    std::string out, err;
};
inline Ran RunCommand(const std::string& command, const std::filesystem::path& folder) {
    const auto out = folder / "stdout", err = folder / "stderr";
    const int status = std::system((command + " >'" + out.string() + "' 2>'" + err.string() + "'").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(out), Slurp(err)};
}

} // namespace velmora::test
