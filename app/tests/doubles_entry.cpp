// The program with stand-ins for devices that this machine cannot be made to
// have, chosen by VOXOTROPE_DOUBLE:
//   outputs=N   the output enumeration reports only its first N entries
//   nocapture   no capture device can be created
// Everything else is the real program on the real devices.
#include <windows.h>
#include <dsound.h>
#include <cstdlib>
#include <cstring>
#include "app.h"
#include "sound_api.h"

static int OutputLimit;

struct Limited {
    LPDSENUMCALLBACKA callback;
    LPVOID context;
    int seen;
};

static BOOL CALLBACK PassLimited(LPGUID guid, LPCSTR description, LPCSTR module, LPVOID context)
{
    Limited* limited = static_cast<Limited*>(context);
    if (limited->seen++ >= OutputLimit)
        return FALSE;
    return limited->callback(guid, description, module, limited->context);
}

static HRESULT WINAPI EnumerateLimited(LPDSENUMCALLBACKA callback, LPVOID context)
{
    Limited limited = {callback, context, 0};
    return DirectSoundEnumerateA(PassLimited, &limited);
}

static HRESULT WINAPI NoCapture(LPCGUID, LPDIRECTSOUNDCAPTURE* capture, LPUNKNOWN)
{
    *capture = nullptr;
    return DSERR_NODRIVER;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    const char* choice = getenv("VOXOTROPE_DOUBLE");
    if (choice && strncmp(choice, "outputs=", 8) == 0) {
        OutputLimit = atoi(choice + 8);
        SoundApi.enumerate = EnumerateLimited;
    } else if (choice && strcmp(choice, "nocapture") == 0) {
        SoundApi.captureCreate = NoCapture;
    }
    return VoxotropeMain(instance, nullptr, SkipProgramName(GetCommandLineA()), SW_SHOWNORMAL);
}
