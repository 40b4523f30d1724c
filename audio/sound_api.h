// The three DirectSound entry points, reached through one table so that tests
// and the test-double build of the program can stand in for the devices.
#pragma once
#include <windows.h>
#include <dsound.h>

struct SoundEntryPoints {
    HRESULT(WINAPI* enumerate)(LPDSENUMCALLBACKA callback, LPVOID context);
    HRESULT(WINAPI* create)(LPCGUID device, LPDIRECTSOUND* sound, LPUNKNOWN outer);
    HRESULT(WINAPI* captureCreate)(LPCGUID device, LPDIRECTSOUNDCAPTURE* capture, LPUNKNOWN outer);
};

extern SoundEntryPoints SoundApi;
