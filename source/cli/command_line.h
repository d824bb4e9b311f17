#pragma once

#include "cli/arguments.h"

#include <cstdio>

namespace veltrin::cli {

// Exit statuses of the command line.
inline constexpr int kFound = 0;
inline constexpr int kNoKnownQuality = 1;
inline constexpr int kNoPage = 2; // not fetched, or without player parameters
inline constexpr int kDownloadFailed = 3;
inline constexpr int kOutputFailed = 74;
inline constexpr int kInterrupted = 130;
inline constexpr int kUsage = 64;
inline constexpr int kNoInput = 66;   // a list of links that cannot be opened
inline constexpr int kSomeFailed = 1; // a list of which a download failed, after the others ran

// Says what is wrong and where to read more; gives kUsage.
int ReportUsage(const UsageError& error, std::FILE* err);

// Runs a job of the command line (any task but the window) and gives the exit status. Needs no
// display and writes no results file. A closed standard output or error stops no download.
int Run(const Job& job, std::FILE* out, std::FILE* err);

} // namespace veltrin::cli
