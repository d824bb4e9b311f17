#include "app/command_line.h"
#include "window/window_program.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (veltrin::cli::IsCommandLine(args)) {
        return veltrin::cli::Run(args, stdout, stderr);
    }
    return veltrin::RunWindowProgram(argc, argv);
}
