#include "cli/command.h"

#include <iostream>

int main(int argc, char** argv) {
    return sendwell::cli::RunCommandLine(argc, argv, std::cout, std::cerr);
}
