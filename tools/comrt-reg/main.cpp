// comrt-reg: looks into the registry store and changes it (see comrt_reg.h).
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>

#include "comrt_reg.h"

namespace {

// A yes typed on the terminal; anything else, or the end of input, is no.
bool AskOnTerminal(const std::string& question) {
    std::cerr << question << std::flush;
    std::string answer;
    return std::getline(std::cin, answer) && (answer == "y" || answer == "Y" || answer == "yes");
}

} // namespace

int main(int argc, char** argv) {
    const bool terminal = ::isatty(STDIN_FILENO) == 1 && ::isatty(STDERR_FILENO) == 1;
    const int status =
        RunComrtReg(argc, argv, std::cout, std::cerr, terminal ? ComrtRegConfirm(AskOnTerminal) : nullptr);
    // What a full disk or a closed descriptor took is no success.
    if (!std::cout.flush()) {
        std::cerr << "comrt-reg: cannot write the standard output: " << std::strerror(errno) << "\n";
        return 1;
    }
    return status;
}
