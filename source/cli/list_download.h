#pragma once

#include "cli/arguments.h"

#include <cstdio>

namespace veltrin::cli {

// Downloads a list of links (a job for which Job::List holds), job.jobs at once: each video once,
// recorded in the window's downloads list, where a stream finished before with its file still
// there is skipped, and a stopped one goes on from its part. Progress and the closing summary go
// to err, the saved paths (or a JSON object a download) to out. Gives 0 when all finished, 1 when
// any failed, 66 when the list cannot be opened, 130 when interrupted.
int DownloadList(const Job& job, std::FILE* out, std::FILE* err);

} // namespace veltrin::cli
