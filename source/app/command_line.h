#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace veltrin::cli {

// Exit statuses of the command line.
inline constexpr int kFound = 0;
inline constexpr int kNoKnownQuality = 1;
inline constexpr int kNoPage = 2; // not fetched, or without player parameters
inline constexpr int kDownloadFailed = 3;
inline constexpr int kOutputFailed = 74;
inline constexpr int kInterrupted = 130;
inline constexpr int kUsage = 64;

// Whether these arguments (without the program's name) ask for the command line rather than the
// window: any of its long options does, as does any other long option, which it then refuses.
bool IsCommandLine(const std::vector<std::string>& args);

// Runs the command line and gives the exit status. Needs no display and writes no results file.
int Run(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

} // namespace veltrin::cli
