// The server of tools/sample-site: the videos of a folder that tools/site/make-videos made (a
// folder a video, named by its id, holding its "title" and one file a stream named by its format
// code, "22.mp4"), served on a loopback port. Prints the site's address, then runs until it is
// interrupted or terminated.

#include "site/sample_site.h"
#include "support/temporary_folder.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>

namespace {

namespace fs = std::filesystem;
using veltrin::testing::ReadFile;
using veltrin::testing::SampleStream;
using veltrin::testing::SampleVideo;

const std::map<std::string, std::string> kTypes{
    {".mp4", "video/mp4"}, {".flv", "video/x-flv"}, {".3gp", "video/3gpp"}, {".webm", "video/webm"}};

constexpr int kBestFirst[] = {37, 22, 35, 34, 18, 5, 36, 17};

std::vector<SampleVideo> ReadVideos(const fs::path& folder) {
    std::vector<SampleVideo> videos;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        if (!entry.is_directory() || !fs::exists(entry.path() / "title")) {
            continue;
        }
        SampleVideo video{entry.path().filename().string(), ReadFile(entry.path() / "title"), {}};
        while (!video.title.empty() && video.title.back() == '\n') {
            video.title.pop_back();
        }
        for (const fs::directory_entry& file : fs::directory_iterator(entry.path())) {
            const auto type = kTypes.find(file.path().extension().string());
            if (type != kTypes.end()) {
                video.streams.push_back({std::stoi(file.path().stem().string()),
                                         std::make_shared<const std::string>(ReadFile(file.path())), type->second});
            }
        }
        // The best first, as the site lists them.
        std::ranges::sort(video.streams, {},
                          [](const SampleStream& s) { return std::ranges::find(kBestFirst, s.formatCode); });
        videos.push_back(std::move(video));
    }
    return videos;
}

} // namespace

int main(int argc, char** argv) {
    const std::string usage = std::string("usage: ") + argv[0] + " VIDEOS_FOLDER\n";
    if (argc == 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
        std::fputs(usage.c_str(), stdout);
        return 0;
    }
    if (argc != 2 || std::string_view(argv[1]).starts_with('-')) {
        std::fputs(usage.c_str(), stderr);
        return 64;
    }
    std::error_code ignored;
    if (!fs::is_directory(argv[1], ignored)) {
        std::fprintf(stderr, "sample-site: %s is no folder\n", argv[1]);
        return 66;
    }
    // Taken by sigwait below, on this thread; the server's threads inherit the mask.
    sigset_t stop;
    sigemptyset(&stop);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&stop, signal);
    }
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);

    veltrin::testing::SampleSite site;
    try {
        const auto videos = ReadVideos(argv[1]);
        if (videos.empty()) {
            std::fprintf(stderr, "sample-site: no videos in %s\n", argv[1]);
            return 66;
        }
        for (const SampleVideo& video : videos) {
            site.Add(video);
        }
        site.Start();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "sample-site: %s\n", error.what());
        return 1;
    }
    std::printf("%s\n", site.Url("").c_str());
    std::fflush(stdout);
    int signal = 0;
    sigwait(&stop, &signal);
    site.Stop();
    return 0;
}
