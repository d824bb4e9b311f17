#include "media/sound_module.h"

#include <mutex>

#include <dlfcn.h>

namespace veltrin::media {

namespace {

using Entry = void (*)(const SoundJob*, SoundResult*);

struct Loaded {
    Entry entry = nullptr;
    std::string problem;
};

const Loaded& Module() {
    static const Loaded loaded = [] {
        Loaded result;
        std::error_code error;
        const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
        const std::string path = (self.parent_path() / "modules" / "veltrin-media.so").string();
        void* handle = error ? nullptr : ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle != nullptr) {
            result.entry = reinterpret_cast<Entry>(::dlsym(handle, "VeltrinSaveSound"));
        }
        if (result.entry == nullptr) {
            const char* why = ::dlerror();
            result.problem = "The sound module cannot be loaded: " + (why != nullptr ? std::string(why) : path);
        }
        return result; // never unloaded: a later call needs it again
    }();
    return loaded;
}

} // namespace

SoundResult SaveSoundThroughModule(const SoundJob& job) {
    const Loaded& module = Module();
    if (module.entry == nullptr) {
        return {SoundResult::Kind::Unreadable, {}, module.problem};
    }
    SoundResult result;
    module.entry(&job, &result);
    return result;
}

} // namespace veltrin::media
