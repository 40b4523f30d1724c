// Test doubles of the two rings: a byte array each, with Lock splitting a
// range at the ring's end the way the devices do, and a record of the calls.
// The playback ring also keeps, per byte, whether it holds sound that the
// device has not read yet, so that a test can move the device on and count
// what it reads: sound read twice, silence, sound overwritten before it was
// read. The device reads at its true write cursor, `readHead`, which a test
// moves with ReadOn apart from the cursors it reports. Every lock is held to
// whole samples, and every sample the device reads must be one sample of one
// write: two halves of different writes, or a write at an odd offset, play
// as noise.
#pragma once
#include <windows.h>
#include <dsound.h>
#include <cstdint>
#include <string>
#include <vector>

struct FakePlaybackRing : IDirectSoundBuffer {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(16000, 0);
    DWORD playCursor = 0;       // what GetCurrentPosition reports
    DWORD writeCursor = 0;
    bool failLock = false;
    HRESULT lockFailure = DSERR_INVALIDPARAM;  // what a failing Lock returns
    bool failPosition = false;  // GetCurrentPosition fails: the device is gone
    HRESULT playResult = DS_OK;
    int locked = 0;             // regions handed out and not yet returned
    std::vector<std::string>* calls = nullptr;
    const char* name = "PlaybackRing";  // in the call record
    DWORD lastLockOffset = 0;   // of the last lock of a whole block
    DWORD lastLengths[2] = {};
    std::vector<uint8_t> unplayed = std::vector<uint8_t>(16000, 0);
    long overwritten = 0;       // unread sound bytes handed out for writing
    long playedAgain = 0;       // sound bytes the device read a second time
    long heard = 0;             // sound bytes read once
    long silent = 0;            // silent bytes read since the first sound
    long oddLocks = 0;          // locks at an odd offset or of an odd length
    long splitSamples = 0;      // samples read that are not one sample of one write
    DWORD readHead = 0;
    HRESULT statusResult = E_NOTIMPL;  // what GetStatus returns, with `status`
    DWORD status = 0;
    // Per byte, the lock that last handed it out and whether it was the
    // low (even) or high byte of a sample of that lock; 0 never written.
    std::vector<uint32_t> writer = std::vector<uint32_t>(16000, 0);
    uint32_t locks = 0;

    // The device reads `bytesToRead` from its read head on, which moves with it.
    void ReadOn(DWORD bytesToRead)
    {
        for (DWORD i = 0; i < bytesToRead; i++) {
            const DWORD at = (readHead + i) % bytes.size();
            if (at % 2 == 0) {
                const uint32_t low = writer[at], high = writer[at + 1];
                if ((low || high) && (low % 2 != 0 || high != low + 1))
                    splitSamples++;
            }
            if (bytes[at] == 0)
                silent += heard > 0;
            else if (!unplayed[at])
                playedAgain++;
            else
                heard++;
            unplayed[at] = 0;
        }
        readHead = (readHead + bytesToRead) % bytes.size();
    }

    // The device moves on by `bytesToSkip` without playing them (a device
    // that jumps): they are neither heard nor waiting any more.
    void SkipOn(DWORD bytesToSkip)
    {
        for (DWORD i = 0; i < bytesToSkip; i++)
            unplayed[(readHead + i) % bytes.size()] = 0;
        readHead = (readHead + bytesToSkip) % bytes.size();
    }

    void Note(const char* call) { if (calls) calls->push_back(std::string(name) + "." + call); }

    STDMETHOD(QueryInterface)(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHOD_(ULONG, AddRef)() override { return 1; }
    STDMETHOD_(ULONG, Release)() override { Note("Release"); return 0; }
    STDMETHOD(GetCaps)(LPDSBCAPS) override { return E_NOTIMPL; }
    STDMETHOD(GetCurrentPosition)(LPDWORD play, LPDWORD write) override
    {
        if (failPosition)
            return DSERR_NODRIVER;
        if (play) *play = playCursor;
        if (write) *write = writeCursor;
        return DS_OK;
    }
    STDMETHOD(GetFormat)(LPWAVEFORMATEX, DWORD, LPDWORD) override { return E_NOTIMPL; }
    STDMETHOD(GetVolume)(LPLONG) override { return E_NOTIMPL; }
    STDMETHOD(GetPan)(LPLONG) override { return E_NOTIMPL; }
    STDMETHOD(GetFrequency)(LPDWORD) override { return E_NOTIMPL; }
    STDMETHOD(GetStatus)(LPDWORD given) override
    {
        *given = status;
        return statusResult;
    }
    STDMETHOD(Initialize)(LPDIRECTSOUND, LPCDSBUFFERDESC) override { return E_NOTIMPL; }
    STDMETHOD(Lock)(DWORD offset, DWORD length, LPVOID* first, LPDWORD firstBytes, LPVOID* second,
                    LPDWORD secondBytes, DWORD) override
    {
        if (failLock)
            return lockFailure;
        if (offset >= bytes.size() || length > bytes.size())
            return DSERR_INVALIDPARAM;
        DWORD tail = static_cast<DWORD>(bytes.size()) - offset;
        *first = bytes.data() + offset;
        *firstBytes = length < tail ? length : tail;
        *second = *firstBytes < length ? bytes.data() : nullptr;
        *secondBytes = length - *firstBytes;
        if (length == 8000) {
            lastLockOffset = offset;
            lastLengths[0] = *firstBytes;
            lastLengths[1] = *secondBytes;
        }
        oddLocks += offset % 2 != 0 || length % 2 != 0;
        locks++;
        for (DWORD i = 0; i < length; i++) {
            overwritten += unplayed[(offset + i) % bytes.size()];
            writer[(offset + i) % bytes.size()] = locks * 2 + i % 2;
        }
        locked++;
        return DS_OK;
    }
    STDMETHOD(Play)(DWORD, DWORD, DWORD) override { Note("Play"); return playResult; }
    STDMETHOD(SetCurrentPosition)(DWORD) override { return E_NOTIMPL; }
    STDMETHOD(SetFormat)(LPCWAVEFORMATEX) override { return E_NOTIMPL; }
    STDMETHOD(SetVolume)(LONG) override { return E_NOTIMPL; }
    STDMETHOD(SetPan)(LONG) override { return E_NOTIMPL; }
    STDMETHOD(SetFrequency)(DWORD) override { return E_NOTIMPL; }
    STDMETHOD(Stop)() override { Note("Stop"); return DS_OK; }
    STDMETHOD(Unlock)(LPVOID first, DWORD firstBytes, LPVOID second, DWORD secondBytes) override
    {
        for (auto [region, length] : {std::pair{first, firstBytes}, std::pair{second, secondBytes}})
            for (DWORD i = 0; region && i < length; i++) {
                const size_t at = static_cast<uint8_t*>(region) - bytes.data() + i;
                unplayed[at] = bytes[at] != 0;
            }
        locked--;
        return DS_OK;
    }
    STDMETHOD(Restore)() override { return E_NOTIMPL; }
};

struct FakeCaptureRing : IDirectSoundCaptureBuffer {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(16000, 0);
    bool failLock = false;
    HRESULT startResult = DS_OK;
    int locked = 0;
    DWORD captureCursor = NoCursor;  // what GetCurrentPosition reports; NoCursor: it fails
    static constexpr DWORD NoCursor = 0xFFFFFFFF;
    DWORD cursorAfterLock = NoCursor;  // where the device has got to once a half is locked
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
    STDMETHOD(GetCurrentPosition)(LPDWORD capturePosition, LPDWORD readPosition) override
    {
        if (captureCursor == NoCursor)
            return E_NOTIMPL;
        if (capturePosition) *capturePosition = captureCursor;
        if (readPosition) *readPosition = captureCursor;
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
        if (cursorAfterLock != NoCursor)
            captureCursor = cursorAfterLock;
        return DS_OK;
    }
    STDMETHOD(Start)(DWORD) override { Note("Start"); return startResult; }
    STDMETHOD(Stop)() override { Note("Stop"); return DS_OK; }
    STDMETHOD(Unlock)(LPVOID, DWORD, LPVOID, DWORD) override { locked--; return DS_OK; }
};
