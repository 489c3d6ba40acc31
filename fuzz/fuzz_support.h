// What every harness shares: a reader that turns the input into values, a
// private folder (XDG_CONFIG_HOME and files) with a fresh store per run, the
// guard that keeps a harness off the network, and the check that stops a run.
// One harness per process; not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace velmora::fuzz {

// Reads the input front to back; past the end every value reads as zero, so a
// short input is still a complete (if dull) case.
class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : bytes_(data, size) {}

    bool Empty() const { return bytes_.empty(); }
    size_t Left() const { return bytes_.size(); }
    uint8_t Byte();
    bool Bool() { return (Byte() & 1) != 0; }
    uint16_t U16();
    uint32_t U32();
    uint64_t U64();
    // A value in 0..most.
    uint32_t Below(uint32_t most) { return most == 0 ? 0 : U32() % (most + 1); }
    double Double();
    // Up to `most` bytes as they are.
    std::string Bytes(size_t most);
    std::u16string Text(size_t most);
    // Everything not read yet.
    std::string Rest();

private:
    std::span<const uint8_t> bytes_;
};

// The folder a harness works in: made once under /dev/shm when it can be
// written (SQLite's syncs cost nothing there), else under the temp folder, and
// removed at exit. XDG_CONFIG_HOME points into it from Init on.
class PrivateFolder {
public:
    static PrivateFolder& Init(const char* harness);
    static PrivateFolder& Get();

    const std::filesystem::path& Root() const { return root_; }
    // A new empty folder for this run, set as XDG_CONFIG_HOME so that the
    // store starts from nothing (it reopens when its path moves); the last
    // run's folder is removed.
    std::filesystem::path FreshRun();

private:
    explicit PrivateFolder(const char* harness);
    std::filesystem::path root_;
    std::filesystem::path run_;
    uint64_t runs_ = 0;
};

// Makes socket() kill the process with a report (seccomp): no harness may
// reach the network. Warns and goes on where the kernel refuses the filter.
void ForbidSockets();

// A broken invariant: prints what and aborts, which libFuzzer saves as a crash.
[[noreturn]] void Broken(std::string_view what);
inline void Check(bool ok, std::string_view what) {
    if (!ok) Broken(what);
}

} // namespace velmora::fuzz
