#include "fuzz_support.h"

#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace velmora::fuzz {

uint8_t ByteReader::Byte() {
    if (bytes_.empty()) return 0;
    const uint8_t b = bytes_.front();
    bytes_ = bytes_.subspan(1);
    return b;
}

std::string ByteReader::Bytes(size_t most) {
    const size_t n = std::min(most, bytes_.size());
    std::string text(reinterpret_cast<const char*>(bytes_.data()), n);
    bytes_ = bytes_.subspan(n);
    return text;
}

std::u16string ByteReader::Text(size_t most) {
    std::u16string text(Below(static_cast<uint32_t>(most)), u'\0');
    for (char16_t& c : text) {
        const uint8_t b = Byte();
        c = b < 0xF0 ? static_cast<char16_t>(b & 0x7F) : static_cast<char16_t>(U16());
    }
    return text;
}

namespace {

std::filesystem::path root, run; // the harness's folder, this run's folder in it
uint64_t runs = 0;

void OnSocketCall(int, siginfo_t*, void*) {
    static constexpr char kText[] = "fuzz: socket() called: no harness may reach the network\n";
    [[maybe_unused]] const auto written = ::write(STDERR_FILENO, kText, sizeof kText - 1);
    std::abort();
}

void ForbidSockets() {
#if defined(__x86_64__)
    struct sigaction action {};
    action.sa_sigaction = OnSocketCall;
    action.sa_flags = SA_SIGINFO;
    ::sigaction(SIGSYS, &action, nullptr);
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_socket, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRAP),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
        ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0)
        std::fprintf(stderr, "fuzz: warning: cannot forbid socket(): %s\n", std::strerror(errno));
#endif
}

} // namespace

void Start(const char* harness) {
    ForbidSockets();
    // /dev/shm where it can be written: SQLite's syncs cost nothing there.
    const std::filesystem::path base =
        ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::filesystem::temp_directory_path();
    std::string pattern = (base / (std::string("velmora-fuzz-") + harness + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) Broken("cannot make a private folder");
    root = pattern;
    std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    });
    ::setenv("XDG_CONFIG_HOME", root.c_str(), 1);
}

std::filesystem::path FreshRun() {
    if (root.empty()) Broken("Start was not called");
    std::error_code ec;
    if (!run.empty()) std::filesystem::remove_all(run, ec);
    run = root / ("run-" + std::to_string(runs++));
    if (!std::filesystem::create_directories(run, ec)) Broken("cannot make a run folder");
    ::setenv("XDG_CONFIG_HOME", run.c_str(), 1);
    return run;
}

void Broken(std::string_view what) {
    std::fprintf(stderr, "fuzz: broken invariant: %.*s\n", static_cast<int>(what.size()), what.data());
    std::abort();
}

} // namespace velmora::fuzz
