// comrt-reg in-process: the input is up to 8 command lines ('\n' apart), each
// split at '\t' into the arguments after the program name, run in order
// against a fresh private store. Arguments end at a NUL, as C strings do.
// Export's FILE, the one argument that names a file, is put inside the run's
// folder; standard input is /dev/null, so no question can wait on a person.
// Checks: the exit status is 0 or 1, and 1 comes with a message (0 without).
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "comrt_reg.h"
#include "fuzz_support.h"

namespace {

std::vector<std::string> Split(const std::string& text, char separator, size_t most) {
    std::vector<std::string> parts;
    for (size_t start = 0; parts.size() < most;) {
        const size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return parts;
}

void RunCommand(const std::filesystem::path& folder, const std::string& line) {
    std::vector<std::string> args = Split(line, '\t', 12);
    // What the tool sees: "export\0..." is "export" to it, and must be to the check below.
    for (std::string& arg : args) arg.resize(std::strlen(arg.c_str()));
    args.insert(args.begin(), "comrt-reg");
    if (args.size() >= 4 &&
        args[1] == "export") { // a name inside the folder: no separators, never "." or ".."
        std::replace(args[3].begin(), args[3].end(), '/', '_');
        args[3] = (folder / ("export-" + args[3])).string();
    }
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::ostringstream out, err;
    const int status = RunComrtReg(static_cast<int>(args.size()), argv.data(), out, err);
    velmora::fuzz::Check(status == 0 || status == 1, "an exit status other than 0 or 1");
    velmora::fuzz::Check((status == 1) == !err.str().empty(),
                         "a failure without a message, or a message on success");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    velmora::fuzz::Start("comrt_reg");
    const int null = ::open("/dev/null", O_RDONLY);
    if (null < 0 || ::dup2(null, STDIN_FILENO) < 0) velmora::fuzz::Broken("cannot point stdin at /dev/null");
    ::close(null);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto folder = velmora::fuzz::FreshRun();
    for (const std::string& line : Split(std::string(reinterpret_cast<const char*>(data), size), '\n', 8))
        RunCommand(folder, line);
    return 0;
}
