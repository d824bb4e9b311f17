#pragma once

#include "cli/arguments.h"

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

namespace veltrin::cli {

// Where a sound goes: a folder and the stem its name starts with.
struct SoundPlace {
    std::filesystem::path folder;
    std::string stem;
};

// The video the engine kept whole under "<video>.part" (Continuation::keepWhole) has its sound
// saved in a file of its own, as keep asks, tagged with the title and the watch link; the part
// goes once the sound is whole. A video with no sound, or one whose sound cannot be read, gets its
// own name instead; anything else keeps the part for the same command to try again. Progress goes
// to err; stop() is asked now and then. The exit status; kFound with saved naming the sound file.
int KeepSound(Keep keep, const std::filesystem::path& video, const SoundPlace& place, const std::string& title,
              const std::string& link, const std::function<bool()>& stop, std::FILE* err, std::filesystem::path& saved);

} // namespace veltrin::cli
