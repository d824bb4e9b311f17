#include "cli/sound_job.h"

#include "cli/command_line.h"
#include "cli/progress_line.h"
#include "download/part_file.h"
#include "media/sound_module.h"

#include <atomic>
#include <cerrno>
#include <cstring>

#include <sys/ioctl.h>
#include <unistd.h>

namespace veltrin::cli {

namespace {

namespace fs = std::filesystem;
using media::SoundResult;

// The video under its own name, as a finished download would have it; where it is now.
fs::path NameVideo(const fs::path& video) {
    const fs::path part = PartPathOf(video);
    if (::link(part.c_str(), video.c_str()) == 0) {
        RemovePartOf(video);
        return video;
    }
    return part; // a file of the name is there: the part stays as it is, whole
}

} // namespace

int KeepSound(Keep keep, const fs::path& video, const SoundPlace& place, const std::string& title,
              const std::string& link, const std::function<bool()>& stop, std::FILE* err, fs::path& saved) {
    std::atomic<bool> stopping{false};
    const bool terminal = isatty(fileno(err)) == 1;
    media::SoundJob job{PartPathOf(video),
                        place.folder,
                        place.stem,
                        keep == Keep::Mp3 ? media::SoundForm::Mp3 : media::SoundForm::AsItIs,
                        title,
                        link};
    job.stop = &stopping;
    job.progress = [&](double done) {
        stopping = stopping || stop();
        if (terminal) {
            winsize size{};
            const int columns = ::ioctl(fileno(err), TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
            std::fprintf(
                err, "\r\033[K%s",
                ProgressLine(static_cast<int>(done * 100), keep == Keep::Mp3 ? "MP3" : "sound", columns).c_str());
            std::fflush(err);
        }
    };
    std::fprintf(err, "Veltrin: keeping the sound of \"%s\"\n", video.filename().c_str());
    const SoundResult result = media::SaveSoundThroughModule(job);
    if (terminal) {
        std::fputs("\r\033[K", err);
    }
    const std::string part = "\"" + PartPathOf(video).filename().string() + "\"";
    switch (result.kind) {
    case SoundResult::Kind::Saved:
        RemovePartOf(video); // only now: the sound is whole under its name
        saved = result.file;
        return kFound;
    case SoundResult::Kind::Stopped:
        std::fprintf(err, "Veltrin: stopped; the video is kept whole in %s; the same command goes on from there\n",
                     part.c_str());
        return kInterrupted;
    case SoundResult::Kind::NoSound:
    case SoundResult::Kind::Unreadable:
        std::fprintf(err, "Veltrin: %s; the video is kept as %s\n", result.message.c_str(), NameVideo(video).c_str());
        return kDownloadFailed;
    case SoundResult::Kind::NotMedia:
    case SoundResult::Kind::Damaged:
        std::fprintf(err, "Veltrin: %s; what came is kept in %s (--no-continue fetches it again)\n",
                     result.message.c_str(), part.c_str());
        return kDownloadFailed;
    case SoundResult::Kind::WriteFailed: break;
    }
    std::fprintf(err, "Veltrin: %s; the video is kept whole in %s; the same command tries again from there\n",
                 result.message.c_str(), part.c_str());
    return kDownloadFailed;
}

} // namespace veltrin::cli
