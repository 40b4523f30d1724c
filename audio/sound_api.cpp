#include "sound_api.h"

SoundEntryPoints SoundApi = {DirectSoundEnumerateA, DirectSoundCreate, DirectSoundCaptureCreate};
