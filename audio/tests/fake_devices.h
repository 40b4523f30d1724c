// Test doubles of the DirectSound entry points and objects, with a chosen
// step made to fail and a record of the calls in the order they were made.
#pragma once
#include <string>
#include <vector>
#include "fake_rings.h"
#include "sound_api.h"

enum class FailAt { Nothing, Create, Primary, Secondary, CaptureCreate, CaptureBuffer, Notify, Positions };

struct FakeNotify : IDirectSoundNotify {
    std::vector<std::string>* calls = nullptr;
    HRESULT result = DS_OK;
    DSBPOSITIONNOTIFY positions[2] = {};
    DWORD count = 0;
    STDMETHOD(QueryInterface)(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHOD_(ULONG, AddRef)() override { return 1; }
    STDMETHOD_(ULONG, Release)() override { calls->push_back("Notify.Release"); return 0; }
    STDMETHOD(SetNotificationPositions)(DWORD n, LPCDSBPOSITIONNOTIFY given) override
    {
        count = n;
        for (DWORD i = 0; i < n && i < 2; i++)
            positions[i] = given[i];
        return result;
    }
};

struct FakeSound;
extern FakeSound* ActiveFakeSound;

struct FakeDirectSound : IDirectSound {
    FakeSound* owner;
    STDMETHOD(QueryInterface)(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHOD_(ULONG, AddRef)() override { return 1; }
    STDMETHOD_(ULONG, Release)() override;
    STDMETHOD(CreateSoundBuffer)(LPCDSBUFFERDESC, LPLPDIRECTSOUNDBUFFER, IUnknown*) override;
    STDMETHOD(GetCaps)(LPDSCAPS) override { return E_NOTIMPL; }
    STDMETHOD(DuplicateSoundBuffer)(LPDIRECTSOUNDBUFFER, LPLPDIRECTSOUNDBUFFER) override { return E_NOTIMPL; }
    STDMETHOD(SetCooperativeLevel)(HWND, DWORD level) override;
    STDMETHOD(Compact)() override { return E_NOTIMPL; }
    STDMETHOD(GetSpeakerConfig)(LPDWORD) override { return E_NOTIMPL; }
    STDMETHOD(SetSpeakerConfig)(DWORD) override { return E_NOTIMPL; }
    STDMETHOD(Initialize)(LPCGUID) override { return E_NOTIMPL; }
};

struct FakeCaptureObject : IDirectSoundCapture {
    FakeSound* owner;
    STDMETHOD(QueryInterface)(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHOD_(ULONG, AddRef)() override { return 1; }
    STDMETHOD_(ULONG, Release)() override;
    STDMETHOD(CreateCaptureBuffer)(LPCDSCBUFFERDESC, LPDIRECTSOUNDCAPTUREBUFFER*, LPUNKNOWN) override;
    STDMETHOD(GetCaps)(LPDSCCAPS) override { return E_NOTIMPL; }
    STDMETHOD(Initialize)(LPCGUID) override { return E_NOTIMPL; }
};

// The whole fake sound system; installs its entry points into SoundApi while
// it exists and puts the real ones back afterwards.
struct FakeSound {
    FailAt failAt = FailAt::Nothing;
    std::vector<std::string> calls;
    std::vector<std::pair<const GUID*, std::string>> outputs;  // what enumeration reports
    const GUID* createdWith = reinterpret_cast<const GUID*>(1);
    DSBUFFERDESC primaryDescription = {}, secondaryDescription = {};
    DSCBUFFERDESC captureDescription = {};
    WAVEFORMATEX secondaryFormat = {}, captureFormat = {};
    FakeDirectSound sound;
    FakePlaybackRing primary, playback;
    FakeCaptureObject capture;
    FakeCaptureRing captureRing;
    FakeNotify notify;
    SoundEntryPoints saved;

    FakeSound();
    ~FakeSound();
    void Fail(FailAt step);
};
