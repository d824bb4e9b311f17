// A whole process around the sound layer, for tools/bench-sound to time beside the ffmpeg
// program: "media_bench copy|mp3 VIDEO FOLDER STEM" saves the sound and prints where it went.

#include "media/sound.h"

#include <cstdio>
#include <string_view>

int main(int argc, char** argv) {
    if (argc != 5 || (std::string_view(argv[1]) != "copy" && std::string_view(argv[1]) != "mp3")) {
        std::fprintf(stderr, "usage: media_bench copy|mp3 VIDEO FOLDER STEM\n");
        return 64;
    }
    veltrin::media::SoundJob job;
    job.form = std::string_view(argv[1]) == "mp3" ? veltrin::media::SoundForm::Mp3 : veltrin::media::SoundForm::AsItIs;
    job.video = argv[2];
    job.folder = argv[3];
    job.stem = argv[4];
    job.title = job.stem;
    const auto result = veltrin::media::SaveSound(job);
    if (result.kind != veltrin::media::SoundResult::Kind::Saved) {
        std::fprintf(stderr, "%s\n", result.message.c_str());
        return 3;
    }
    std::printf("%s\n", result.file.c_str());
    return 0;
}
