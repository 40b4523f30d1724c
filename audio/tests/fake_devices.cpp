#include "fake_devices.h"

FakeSound* ActiveFakeSound;

static HRESULT WINAPI FakeEnumerate(LPDSENUMCALLBACKA callback, LPVOID context)
{
    for (auto& [guid, description] : ActiveFakeSound->outputs)
        if (!callback(const_cast<GUID*>(guid), description.c_str(), "fake.drv", context))
            break;
    return DS_OK;
}

static HRESULT WINAPI FakeCreate(LPCGUID device, LPDIRECTSOUND* sound, LPUNKNOWN)
{
    FakeSound* fake = ActiveFakeSound;
    fake->calls.push_back("DirectSoundCreate");
    fake->createdWith = device;
    if (fake->failAt == FailAt::Create)
        return DSERR_NODRIVER;
    *sound = &fake->sound;
    return DS_OK;
}

static HRESULT WINAPI FakeCaptureCreate(LPCGUID, LPDIRECTSOUNDCAPTURE* capture, LPUNKNOWN)
{
    FakeSound* fake = ActiveFakeSound;
    fake->calls.push_back("DirectSoundCaptureCreate");
    if (fake->failAt == FailAt::CaptureCreate)
        return DSERR_NODRIVER;
    *capture = &fake->capture;
    return DS_OK;
}

ULONG FakeDirectSound::Release()
{
    owner->calls.push_back("Sound.Release");
    return 0;
}

HRESULT FakeDirectSound::SetCooperativeLevel(HWND, DWORD level)
{
    owner->calls.push_back("SetCooperativeLevel " + std::to_string(level));
    return DS_OK;
}

HRESULT FakeDirectSound::CreateSoundBuffer(LPCDSBUFFERDESC description, LPLPDIRECTSOUNDBUFFER buffer, IUnknown*)
{
    bool primary = description->dwFlags & DSBCAPS_PRIMARYBUFFER;
    owner->calls.push_back(primary ? "CreatePrimary" : "CreateSecondary");
    if (primary) {
        owner->primaryDescription = *description;
        if (owner->failAt == FailAt::Primary)
            return DSERR_OUTOFMEMORY;
        *buffer = &owner->primary;
    } else {
        owner->secondaryDescription = *description;
        owner->secondaryFormat = *description->lpwfxFormat;
        if (owner->failAt == FailAt::Secondary)
            return DSERR_OUTOFMEMORY;
        *buffer = &owner->playback;
    }
    return DS_OK;
}

ULONG FakeCaptureObject::Release()
{
    owner->calls.push_back("Capture.Release");
    return 0;
}

HRESULT FakeCaptureObject::CreateCaptureBuffer(LPCDSCBUFFERDESC description, LPDIRECTSOUNDCAPTUREBUFFER* buffer,
                                               LPUNKNOWN)
{
    owner->calls.push_back("CreateCaptureBuffer");
    owner->captureDescription = *description;
    owner->captureFormat = *description->lpwfxFormat;
    if (owner->failAt == FailAt::CaptureBuffer)
        return DSERR_OUTOFMEMORY;
    *buffer = &owner->captureRing;
    return DS_OK;
}

FakeSound::FakeSound()
{
    static const GUID device = {0x12345678, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
    outputs = {{nullptr, "Primary Sound Driver"}, {&device, "Fake speakers"}};
    sound.owner = this;
    capture.owner = this;
    primary.calls = &calls;
    primary.name = "Primary";
    playback.calls = &calls;
    captureRing.calls = &calls;
    notify.calls = &calls;
    captureRing.notify = &notify;
    saved = SoundApi;
    SoundApi = {FakeEnumerate, FakeCreate, FakeCaptureCreate};
    ActiveFakeSound = this;
}

FakeSound::~FakeSound()
{
    SoundApi = saved;
    ActiveFakeSound = nullptr;
}

void FakeSound::Fail(FailAt step)
{
    failAt = step;
    captureRing.notify = step == FailAt::Notify ? nullptr : &notify;
    notify.result = step == FailAt::Positions ? DSERR_INVALIDPARAM : DS_OK;
}
