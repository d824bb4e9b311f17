// The module's one entry point, looked up by name (sound_module.cpp).

#include "media/sound.h"

extern "C" __attribute__((visibility("default"))) void VeltrinSaveSound(const veltrin::media::SoundJob* job,
                                                                        veltrin::media::SoundResult* result) {
    *result = veltrin::media::SaveSound(*job);
}
