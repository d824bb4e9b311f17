#include "app/window_program.h"
#include "cli/command_line.h"
#include "desktop/user_settings.h"

#include <QSettings>

#include <cerrno>
#include <cstdio>
#include <string>
#include <variant>
#include <vector>

#include <fcntl.h>

namespace {

// A standard descriptor left closed by whoever started the program would go to the next file or
// socket it opens, and what it prints would land there. Read-only /dev/null takes its place, so
// that printing to it still fails as it should.
void KeepStandardDescriptorsTaken() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF && ::open("/dev/null", O_RDONLY) != fd) {
            return; // not even /dev/null: nothing better to do
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    KeepStandardDescriptorsTaken();
    const auto parsed = veltrin::ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (const auto* error = std::get_if<veltrin::UsageError>(&parsed)) {
        return veltrin::cli::ReportUsage(*error, stderr);
    }
    veltrin::Job job = std::get<veltrin::Job>(parsed);
    // A list runs as many downloads at once as the window does, unless --jobs says otherwise.
    static_assert(veltrin::kFewestJobs == veltrin::UserSettings::kFewestAtOnce &&
                  veltrin::kMostJobs == veltrin::UserSettings::kMostAtOnce);
    if (job.List() && job.jobs == 0) {
        job.jobs = veltrin::ReadUserSettings(*veltrin::OpenSettingsStore()).atOnce;
    }
    return job.task == veltrin::Task::Window ? veltrin::RunWindowProgram(job, argv[0])
                                             : veltrin::cli::Run(veltrin::WithChosenProxy(job), stdout, stderr);
}
