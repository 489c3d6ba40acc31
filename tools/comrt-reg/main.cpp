// comrt-reg: looks into the registry store and changes it (see comrt_reg.h).
#include <iostream>

#include "comrt_reg.h"

int main(int argc, char** argv) {
    return RunComrtReg(argc, argv, std::cout, std::cerr);
}
