// What every harness shares: a reader that turns the input into values, a
// private folder with a fresh XDG_CONFIG_HOME (so a fresh store) per run, no
// network, and the check that stops a run. One harness per process; not
// thread-safe.
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
    uint8_t Byte();
    bool Bool() { return (Byte() & 1) != 0; }
    uint16_t U16() { return Little<uint16_t>(); }
    uint32_t U32() { return Little<uint32_t>(); }
    uint64_t U64() { return Little<uint64_t>(); }
    uint32_t Below(uint32_t most) { return most == 0 ? 0 : U32() % (most + 1); } // 0..most
    std::string Bytes(size_t most);                                              // as they are
    std::u16string Text(size_t most); // mostly ASCII, now and then any unit
    std::string Rest() { return Bytes(bytes_.size()); }

private:
    // Little-endian, a byte per statement: the order of operands is unspecified.
    template <class T> T Little() {
        T value = 0;
        for (size_t i = 0; i < sizeof(T); ++i) value |= static_cast<T>(T{Byte()} << (8 * i));
        return value;
    }

    std::span<const uint8_t> bytes_;
};

// For LLVMFuzzerInitialize: socket() kills the process from now on (where
// the kernel takes the filter), and a private folder removed at exit
// becomes XDG_CONFIG_HOME.
void Start(const char* harness);
// A new empty folder for this run as XDG_CONFIG_HOME, under a new name, as
// the store reopens when its path moves; the last run's folder goes.
std::filesystem::path FreshRun();

// A broken invariant: prints what and aborts, which libFuzzer saves as a crash.
[[noreturn]] void Broken(std::string_view what);
inline void Check(bool ok, std::string_view what) {
    if (!ok) Broken(what);
}

} // namespace velmora::fuzz
