// voxotrope-soundprobe: times the platform's sound path through rings like
// the program's (16000 bytes, mono, 22050 Hz, 16 bit), for bench/latency.sh.
//
//   soundprobe capture SECONDS FILE   records the default capture device
//       through a capture ring that signals the end of each half, appends
//       each half to FILE and prints "<time> <half>" per signal
//   soundprobe playback CLICKS MS     every MS milliseconds writes a 10-ms
//       burst 3998 bytes beyond the output's write cursor and prints
//       "<time> <play> <write>"
//   soundprobe clock                  prints the time
//
// Times are QueryPerformanceCounter in seconds; under Wine that counter is
// the host's monotonic raw clock, so they compare with the host's own stamps.
#include <windows.h>
#include <mmsystem.h>
#include <dsound.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

WAVEFORMATEX Format = {WAVE_FORMAT_PCM, 1, 22050, 44100, 2, 16, 0};
constexpr DWORD RingBytes = 16000;
constexpr DWORD HalfBytes = 8000;
constexpr DWORD Lead = 3998;
constexpr DWORD BurstSamples = 220;

double Now()
{
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return double(count.QuadPart) / double(frequency.QuadPart);
}

int Fail(const char* what)
{
    fprintf(stderr, "soundprobe: %s\n", what);
    return 1;
}

// The output as the program sets it up: its primary buffer in the program's
// format, and a looping ring that plays from the start.
IDirectSoundBuffer* OpenPlayback()
{
    IDirectSound* sound = nullptr;
    IDirectSoundBuffer* primary = nullptr;
    IDirectSoundBuffer* ring = nullptr;
    DSBUFFERDESC description = {sizeof(DSBUFFERDESC1), DSBCAPS_PRIMARYBUFFER, 0, 0, nullptr, {}};
    if (FAILED(DirectSoundCreate(nullptr, &sound, nullptr)))
        return nullptr;
    sound->SetCooperativeLevel(GetDesktopWindow(), DSSCL_EXCLUSIVE);
    if (FAILED(sound->CreateSoundBuffer(&description, &primary, nullptr)))
        return nullptr;
    primary->SetFormat(&Format);
    primary->Play(0, 0, DSBPLAY_LOOPING);
    description.dwFlags = DSBCAPS_CTRLPOSITIONNOTIFY | DSBCAPS_GLOBALFOCUS | DSBCAPS_GETCURRENTPOSITION2;
    description.dwBufferBytes = RingBytes;
    description.lpwfxFormat = &Format;
    if (FAILED(sound->CreateSoundBuffer(&description, &ring, nullptr)))
        return nullptr;
    ring->Play(0, 0, DSBPLAY_LOOPING);
    return ring;  // the process ends with the probe: nothing is released
}

// Copies BYTES of DATA into the ring at OFFSET, round its end if need be.
void Fill(IDirectSoundBuffer* ring, DWORD offset, DWORD bytes, const void* data)
{
    void* region[2];
    DWORD length[2];
    if (!bytes || FAILED(ring->Lock(offset, bytes, &region[0], &length[0], &region[1], &length[1], 0)))
        return;
    memcpy(region[0], data, length[0]);
    if (length[1])
        memcpy(region[1], static_cast<const char*>(data) + length[0], length[1]);
    ring->Unlock(region[0], length[0], region[1], length[1]);
}

int Capture(double seconds, const char* path)
{
    FILE* out = fopen(path, "wb");
    IDirectSoundCapture* capture = nullptr;
    IDirectSoundCaptureBuffer* ring = nullptr;
    IDirectSoundNotify* notify = nullptr;
    DSCBUFFERDESC description = {sizeof(DSCBUFFERDESC1), 0, RingBytes, 0, &Format, 0, nullptr};
    if (!out || FAILED(DirectSoundCaptureCreate(nullptr, &capture, nullptr)) ||
        FAILED(capture->CreateCaptureBuffer(&description, &ring, nullptr)) ||
        FAILED(ring->QueryInterface(IID_IDirectSoundNotify, reinterpret_cast<void**>(&notify))))
        return Fail("no capture device");
    HANDLE events[2] = {CreateEventA(nullptr, FALSE, FALSE, nullptr),
                        CreateEventA(nullptr, FALSE, FALSE, nullptr)};
    DSBPOSITIONNOTIFY positions[2] = {{HalfBytes - 2, events[0]}, {RingBytes - 2, events[1]}};
    notify->SetNotificationPositions(2, positions);
    ring->Start(DSCBSTART_LOOPING);
    double end = Now() + seconds;
    while (Now() < end) {
        DWORD which = WaitForMultipleObjects(2, events, FALSE, 1000);
        if (which > WAIT_OBJECT_0 + 1)
            continue;
        double at = Now();
        int half = int(which - WAIT_OBJECT_0);
        void* data;
        DWORD bytes;
        if (SUCCEEDED(ring->Lock(HalfBytes * half, HalfBytes, &data, &bytes, nullptr, nullptr, 0))) {
            fwrite(data, 1, bytes, out);
            ring->Unlock(data, bytes, nullptr, 0);
        }
        printf("%.6f %d\n", at, half);
        fflush(stdout);
    }
    ring->Stop();
    fclose(out);
    return 0;
}

int Playback(int clicks, int spacing)
{
    IDirectSoundBuffer* ring = OpenPlayback();
    if (!ring)
        return Fail("no output device");
    static short burst[BurstSamples], silence[RingBytes / 2];
    for (DWORD i = 0; i < BurstSamples; ++i)
        burst[i] = (i / 11) % 2 ? -12000 : 12000;  // 1 kHz square wave
    Sleep(1000);
    for (int k = 0; k < clicks; ++k) {
        DWORD play = 0, write = 0;
        ring->GetCurrentPosition(&play, &write);
        double at = Now();
        Fill(ring, (write + Lead) % RingBytes, sizeof burst, burst);
        printf("%.6f %lu %lu\n", at, play, write);
        fflush(stdout);
        // Once the burst has played, silence over all of the ring that the
        // device is not playing, so that it is heard once only.
        Sleep(spacing / 2);
        ring->GetCurrentPosition(&play, &write);
        Fill(ring, write, RingBytes - (write + RingBytes - play) % RingBytes, silence);
        Sleep(spacing - spacing / 2);
    }
    ring->Stop();
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 4 && !strcmp(argv[1], "capture"))
        return Capture(atof(argv[2]), argv[3]);
    if (argc >= 4 && !strcmp(argv[1], "playback"))
        return Playback(atoi(argv[2]), atoi(argv[3]));
    if (argc >= 2 && !strcmp(argv[1], "clock"))
        return printf("%.6f\n", Now()), 0;
    fprintf(stderr, "usage: soundprobe capture SECONDS FILE | playback CLICKS MS | clock\n");
    return 2;
}
