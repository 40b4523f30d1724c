// Test doubles of the two rings: a byte array each, with Lock splitting a
// range at the ring's end the way the devices do, and a record of the calls.
#pragma once
#include <windows.h>
#include <dsound.h>
#include <cstdint>
#include <string>
#include <vector>

struct FakePlaybackRing : IDirectSoundBuffer {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(16000, 0);
    DWORD writeCursor = 0;      // what GetCurrentPosition reports
    bool failLock = false;
    int locked = 0;             // regions handed out and not yet returned
    std::vector<std::string>* calls = nullptr;
    const char* name = "PlaybackRing";  // in the call record
    DWORD lastLockOffset = 0;
    DWORD lastLengths[2] = {};

    void Note(const char* call) { if (calls) calls->push_back(std::string(name) + "." + call); }

    STDMETHOD(QueryInterface)(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHOD_(ULONG, AddRef)() override { return 1; }
    STDMETHOD_(ULONG, Release)() override { Note("Release"); return 0; }
    STDMETHOD(GetCaps)(LPDSBCAPS) override { return E_NOTIMPL; }
    STDMETHOD(GetCurrentPosition)(LPDWORD play, LPDWORD write) override
    {
        if (play) *play = 0;
        if (write) *write = writeCursor;
        return DS_OK;
    }
    STDMETHOD(GetFormat)(LPWAVEFORMATEX, DWORD, LPDWORD) override { return E_NOTIMPL; }
    STDMETHOD(GetVolume)(LPLONG) override { return E_NOTIMPL; }
    STDMETHOD(GetPan)(LPLONG) override { return E_NOTIMPL; }
    STDMETHOD(GetFrequency)(LPDWORD) override { return E_NOTIMPL; }
    STDMETHOD(GetStatus)(LPDWORD) override { return E_NOTIMPL; }
    STDMETHOD(Initialize)(LPDIRECTSOUND, LPCDSBUFFERDESC) override { return E_NOTIMPL; }
    STDMETHOD(Lock)(DWORD offset, DWORD length, LPVOID* first, LPDWORD firstBytes, LPVOID* second,
                    LPDWORD secondBytes, DWORD) override
    {
        if (failLock || offset >= bytes.size() || length > bytes.size())
            return DSERR_INVALIDPARAM;
        DWORD tail = static_cast<DWORD>(bytes.size()) - offset;
        *first = bytes.data() + offset;
        *firstBytes = length < tail ? length : tail;
        *second = *firstBytes < length ? bytes.data() : nullptr;
        *secondBytes = length - *firstBytes;
        lastLockOffset = offset;
        lastLengths[0] = *firstBytes;
        lastLengths[1] = *secondBytes;
        locked++;
        return DS_OK;
    }
    STDMETHOD(Play)(DWORD, DWORD, DWORD) override { Note("Play"); return DS_OK; }
    STDMETHOD(SetCurrentPosition)(DWORD) override { return E_NOTIMPL; }
    STDMETHOD(SetFormat)(LPCWAVEFORMATEX) override { return E_NOTIMPL; }
    STDMETHOD(SetVolume)(LONG) override { return E_NOTIMPL; }
    STDMETHOD(SetPan)(LONG) override { return E_NOTIMPL; }
    STDMETHOD(SetFrequency)(DWORD) override { return E_NOTIMPL; }
    STDMETHOD(Stop)() override { Note("Stop"); return DS_OK; }
    STDMETHOD(Unlock)(LPVOID, DWORD, LPVOID, DWORD) override { locked--; return DS_OK; }
    STDMETHOD(Restore)() override { return E_NOTIMPL; }
};

struct FakeCaptureRing : IDirectSoundCaptureBuffer {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(16000, 0);
    DWORD position = 0;  // what GetCurrentPosition reports
    bool failLock = false;
    int locked = 0;
    std::vector<std::string>* calls = nullptr;
    IDirectSoundNotify* notify = nullptr;  // what QueryInterface hands out, if anything

    void Note(const char* call) { if (calls) calls->push_back(std::string("CaptureRing.") + call); }

    STDMETHOD(QueryInterface)(REFIID iid, void** object) override
    {
        if (!notify || !IsEqualGUID(iid, IID_IDirectSoundNotify))
            return E_NOINTERFACE;
        *object = notify;
        return DS_OK;
    }
    STDMETHOD_(ULONG, AddRef)() override { return 1; }
    STDMETHOD_(ULONG, Release)() override { Note("Release"); return 0; }
    STDMETHOD(GetCaps)(LPDSCBCAPS) override { return E_NOTIMPL; }
    STDMETHOD(GetCurrentPosition)(LPDWORD capture, LPDWORD read) override
    {
        if (capture) *capture = position;
        if (read) *read = position;
        return DS_OK;
    }
    STDMETHOD(GetFormat)(LPWAVEFORMATEX, DWORD, LPDWORD) override { return E_NOTIMPL; }
    STDMETHOD(GetStatus)(LPDWORD) override { return E_NOTIMPL; }
    STDMETHOD(Initialize)(LPDIRECTSOUNDCAPTURE, LPCDSCBUFFERDESC) override { return E_NOTIMPL; }
    STDMETHOD(Lock)(DWORD offset, DWORD length, LPVOID* first, LPDWORD firstBytes, LPVOID* second,
                    LPDWORD secondBytes, DWORD) override
    {
        if (failLock || offset + length > bytes.size())
            return DSERR_INVALIDPARAM;
        *first = bytes.data() + offset;
        *firstBytes = length;
        if (second) *second = nullptr;
        if (secondBytes) *secondBytes = 0;
        locked++;
        return DS_OK;
    }
    STDMETHOD(Start)(DWORD) override { Note("Start"); return DS_OK; }
    STDMETHOD(Stop)() override { Note("Stop"); return DS_OK; }
    STDMETHOD(Unlock)(LPVOID, DWORD, LPVOID, DWORD) override { locked--; return DS_OK; }
};
