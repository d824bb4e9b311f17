#pragma once

// The sound layer as the program uses it: FFmpeg's libraries are some eighty shared libraries
// more, a start-up 25 ms slower and 17 MB larger for every run that never keeps a sound, so they
// live in a module of their own ("modules/veltrin-media.so" beside the executable), loaded the
// first time a sound is kept.

#include "media/sound.h"

namespace veltrin::media {

// SaveSound, through the module; Unreadable, saying why, when the module cannot be loaded.
// Thread-safe: the first call loads it, and it stays.
SoundResult SaveSoundThroughModule(const SoundJob& job);

} // namespace veltrin::media
