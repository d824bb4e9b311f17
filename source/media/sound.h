#pragma once

// The sound of a downloaded video, kept in a file of its own: copied out as it is, packet by
// packet, or made into MP3. The video is only read; the caller removes it once the sound is saved.

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace veltrin::media {

enum class SoundForm {
    AsItIs, // copied without re-encoding: AAC into .m4a, MP3 into .mp3, Opus into .opus, Vorbis
            // into .ogg, FLAC into .flac, anything else into .mka
    Mp3,    // made into MP3 at 192 kb/s, unless it is MP3 already (then copied)
};

struct SoundJob {
    std::filesystem::path video; // the whole video (a part file will do): read, never changed
    std::filesystem::path folder;
    std::string stem; // the sound file is "<stem>.<ext>", or "<stem> (2).<ext>" and so on
    SoundForm form = SoundForm::AsItIs;
    std::string title;   // its title tag
    std::string comment; // its comment tag: the watch link
    // 0..1 from the timestamps read against the sound's duration, on the calling thread.
    std::function<void(double)> progress{};
    // Set from any thread, it stops the work soon after; nothing is left behind.
    const std::atomic<bool>* stop = nullptr;
};

struct SoundResult {
    enum class Kind {
        Saved,
        Stopped,
        NoSound,     // the video has no sound track
        NotMedia,    // not a media file at all (an error page, say)
        Damaged,     // a media file cut short or damaged
        Unreadable,  // a sound in a form the libraries cannot read or write
        WriteFailed, // the sound file could not be written (a full disk, say)
    };
    Kind kind = Kind::Saved;
    std::filesystem::path file{}; // Saved: the sound file, whole under its name
    std::string message{};        // otherwise: what went wrong, in a sentence for the user
};

// Saves the sound of job.video beside nothing else: written under "<name>.part", forced to the
// disk, then given its name (never over an existing file), so that a file of the final name is
// always whole. A run killed half-way leaves at most that part, which the next run takes over.
// Runs on the calling thread; any number may run at once.
SoundResult SaveSound(const SoundJob& job);

// The title as a tag can hold it: valid UTF-8, without control characters, spaces trimmed.
std::string TagText(std::string_view text);

} // namespace veltrin::media
