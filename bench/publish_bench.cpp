// What --publish costs e16rec: the e16rec of this build records 32 channels
// of the simulated module at 127.0.0.1 at 500 kS/s without a file, once
// plain and once with --publish and four subscribers in this process
// (velmora::hosts::StreamReader, each checking every message), the two
// alternating; its CPU time (user + sys of the whole process, from wait4)
// per recorded second for each, and what the publisher adds in % of one
// core: the median of each pair's difference (publishing run less the plain
// run just before it), with the lowest and highest difference beside it;
// and what the subscribers received: kadrs against those recorded, and gaps.
//   publish_bench [--seconds S] [--repeat N] [--subscribers K]
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cpu_time.h"
#include "stream_reader.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
namespace hosts = velmora::hosts;

constexpr int kKadrRate = 15625; // kadrs/s: 500 kS/s over 32 channels
constexpr double kTarget = 2.0;  // % of one core

struct Settings {
    double seconds = 10;
    int repeat = 3;
    int subscribers = 4;
};

// One subscriber on its own thread, until the publisher's last message.
class Subscriber {
public:
    explicit Subscriber(const std::string& endpoint) {
        std::string error;
        if (!reader_.Open(endpoint, error)) std::fprintf(stderr, "publish_bench: %s\n", error.c_str());
        thread_ = std::thread([this] { Run(); });
    }
    ~Subscriber() {
        if (thread_.joinable()) thread_.join();
    }
    void Join() { thread_.join(); }
    int64_t Kadrs() const { return kadrs_; }
    int64_t Gaps() const { return reader_.Gaps(); }
    int64_t Refused() const { return refused_; }

private:
    void Run() {
        hosts::StreamBlock block;
        std::string error;
        for (;;) {
            const auto got = reader_.Next(15000, block, error);
            if (got == hosts::StreamReader::Got::Nothing) return;
            if (got != hosts::StreamReader::Got::Block) {
                ++refused_;
                continue;
            }
            kadrs_ += block.header.kadrs;
            if (block.header.end) return;
        }
    }

    hosts::StreamReader reader_;
    int64_t kadrs_ = 0, refused_ = 0;
    std::thread thread_;
};

struct Run {
    int status = -1;
    double cpu = 0;
    long long recorded = -1;
};

Run Record(const fs::path& e16rec, const fs::path& work, long long kadrs, const std::string& publish) {
    std::vector<std::string> args = {
        e16rec.string(),           "--address", "127.0.0.1",           "--inputs", "se", "-c", "0-31", "-r",
        std::to_string(kKadrRate), "-n",        std::to_string(kadrs), "-q",       "-o", "-"};
    if (!publish.empty()) args.insert(args.end(), {"--publish", publish});
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e)
        if (!std::string(*e).starts_with("DISPLAY=") && !std::string(*e).starts_with("WAYLAND_DISPLAY=") &&
            !std::string(*e).starts_with("XDG_CONFIG_HOME="))
            env.push_back(*e);
    env.push_back("XDG_CONFIG_HOME=" + (work / "config").string());
    std::vector<char*> argv, envp;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    const fs::path out = work / "e16rec.out";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    Run run;
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return run;
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {}
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
              static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
    if (std::FILE* f = std::fopen(out.c_str(), "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, f) != nullptr)
            if (std::sscanf(line, "recorded %lld of", &run.recorded) == 1) break;
        std::fclose(f);
    }
    return run;
}

bool ParseArgs(int argc, char** argv, Settings& s) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const double value = std::atof(argv[i + 1]);
        if (name == "--seconds" && value > 0)
            s.seconds = value;
        else if (name == "--repeat" && value >= 1)
            s.repeat = static_cast<int>(value);
        else if (name == "--subscribers" && value >= 1)
            s.subscribers = static_cast<int>(value);
        else
            return false;
    }
    return argc % 2 == 1;
}

} // namespace

int main(int argc, char** argv) {
    Settings s;
    if (!ParseArgs(argc, argv, s)) {
        std::fputs("usage: publish_bench [--seconds S] [--repeat N] [--subscribers K]\n", stderr);
        return 2;
    }
    const fs::path e16rec = fs::canonical("/proc/self/exe").parent_path() / "e16rec";
    char pattern[] = "/tmp/publish-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) return 1;
    const fs::path work = pattern;
    const long long kadrs = std::llround(s.seconds * kKadrRate);
    const std::string endpoint = "ipc://" + (work / "e16").string();
    std::printf("publish: e16rec --inputs se -c 0-31 -r %d (500 kS/s) -n %lld -o - at 127.0.0.1, "
                "%d repetitions; with --publish %s and %d subscribers in this process\n",
                kKadrRate, kadrs, s.repeat, endpoint.c_str(), s.subscribers);
    std::fflush(stdout);
    std::vector<double> plain, published, added;
    std::vector<std::string> received;
    int failures = 0;
    for (int rep = 0; rep < s.repeat; ++rep) {
        const Run a = Record(e16rec, work, kadrs, {});
        std::vector<std::unique_ptr<Subscriber>> subscribers;
        for (int k = 0; k < s.subscribers; ++k) subscribers.push_back(std::make_unique<Subscriber>(endpoint));
        const Run b = Record(e16rec, work, kadrs, endpoint);
        std::string line;
        for (auto& sub : subscribers) {
            sub->Join();
            line += " " + std::to_string(sub->Kadrs()) + "/" + std::to_string(b.recorded) + " kadrs, " +
                    std::to_string(sub->Gaps()) + " gaps;";
            failures += sub->Kadrs() != b.recorded || sub->Gaps() != 0 || sub->Refused() != 0;
        }
        received.push_back(line);
        if (a.status != 0 || b.status != 0 || a.recorded != kadrs || b.recorded != kadrs) {
            std::printf("run %d failed: exit %d and %d, %lld and %lld kadrs\n", rep + 1, a.status, b.status,
                        a.recorded, b.recorded);
            ++failures;
            continue;
        }
        plain.push_back(a.cpu / s.seconds * 100);
        published.push_back(b.cpu / s.seconds * 100);
        added.push_back(published.back() - plain.back());
        std::printf("run %d: %.2f %% of a core plain, %.2f %% publishing, %+.2f %%\n", rep + 1, plain.back(),
                    published.back(), added.back());
        std::fflush(stdout);
    }
    std::error_code ignored;
    fs::remove_all(work, ignored);
    if (plain.empty()) return 1;
    const double a = velmora::bench::Median(plain), b = velmora::bench::Median(published);
    // Each pair ran back to back, so its difference leaves out the load that
    // moved between pairs; a difference of the two medians would not.
    const double cost = velmora::bench::Median(added);
    const auto [lowest, highest] = std::minmax_element(added.begin(), added.end());
    std::printf(
        "e16rec CPU per recorded second (median): %.2f %% of one core without --publish, %.2f %% with "
        "--publish and %d subscribers\n",
        a, b, s.subscribers);
    std::printf("the publisher adds %.2f %% of one core (median of %zu paired differences, %.2f to %.2f %%; "
                "target: below %.0f %%): %s\n",
                cost, added.size(), *lowest, *highest, kTarget, cost < kTarget ? "met" : "NOT met");
    for (std::size_t i = 0; i < received.size(); ++i)
        std::printf("subscribers, run %zu:%s\n", i + 1, received[i].c_str());
    return failures == 0 && cost < kTarget ? 0 : 1;
}
