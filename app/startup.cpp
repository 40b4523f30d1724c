#include "app.h"
#include "audio_objects.h"
#include "main_window.h"
#include "shell_api.h"
#include "stall_watch.h"
#include "stream.h"
#include "windows_ui.h"

int QuitFlag;

LPSTR SkipProgramName(LPSTR commandLine)
{
    char* p = commandLine;
    if (*p == '"') {
        p++;
        while (*p && *p != '"')
            p++;
        if (*p == '"')
            p++;
    } else {
        while (*p && *p != ' ' && *p != '\t')
            p++;
    }
    while (*p == ' ' || *p == '\t')
        p++;
    return p;
}

void RegisterWindowClasses(HINSTANCE instance)
{
    // One record, re-registered with only the procedure and the name changed.
    WNDCLASSA windowClass = {};
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, "ICON_APP");
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    const struct {
        const char* name;
        WNDPROC procedure;
    } classes[] = {
        {"Voxotrope", MainWindowProc},
        {"ABOUT", AboutProc},
        {PanelClassNames[FxPitch], PanelProcedures[FxPitch]},
        {PanelClassNames[FxVolume], PanelProcedures[FxVolume]},
        {PanelClassNames[FxTriangle], PanelProcedures[FxTriangle]},
        {PanelClassNames[FxAM], PanelProcedures[FxAM]},
        {PanelClassNames[FxReverse], PanelProcedures[FxReverse]},
        {"Slider", SliderProc},
        {PanelClassNames[FxCrazy], PanelProcedures[FxCrazy]},
        {PanelClassNames[FxDeeper], PanelProcedures[FxDeeper]},
    };
    for (const auto& entry : classes) {
        windowClass.lpfnWndProc = entry.procedure;
        windowClass.lpszClassName = entry.name;
        RegisterClassA(&windowClass);
    }
}

const char* const WaitFailedMessage =
    "Unable to wait for sound and window events! Please restart Voxotrope!";

// One capture notification: its block step, then a look at the output.
static bool RunStep(int half)
{
    CaptureNotified();
    return BlockStep(half) && OutputStallCheck();
}

// The devices are looked at on every wake that runs no step, but no more
// often than this: the step timer alone wakes the loop a hundred times a
// second.
constexpr DWORD DeviceCheckEvery = 50;  // ms
static DWORD LastDeviceCheck;

static bool DevicesChecked()
{
    const DWORD now = GetTickCount();
    if (Transport && now - LastDeviceCheck < DeviceCheckEvery)
        return true;
    LastDeviceCheck = now;
    return CaptureStallCheck() && OutputStallCheck();
}

// The system's modal loops (the FX menu, the open-file dialog, a message
// box) dispatch messages and never come back to the loop's wait, for as
// long as a person reads the menu. They dispatch timers too: while the
// Transport runs, a thread timer runs the steps whose events are signalled,
// and the device checks. A thread timer reaches no window procedure, so it
// asks for no resync.
constexpr UINT StepTimerEvery = 10;  // ms, the shortest a timer takes
static UINT_PTR StepTimer;

static void CALLBACK StepsDue(HWND, UINT, UINT_PTR, DWORD)
{
    if (!Transport || QuitFlag)
        return;
    for (;;) {
        const DWORD signalled = WaitForMultipleObjects(2, Audio.events, FALSE, 0);
        if (signalled != WAIT_OBJECT_0 && signalled != WAIT_OBJECT_0 + 1)
            break;
        if (!RunStep(static_cast<int>(signalled - WAIT_OBJECT_0)))
            return;
    }
    DevicesChecked();
}

static void KeepStepTimer()
{
    if (Transport && !StepTimer) {
        StepTimer = SetTimer(nullptr, 0, StepTimerEvery, StepsDue);
    } else if (!Transport && StepTimer) {
        KillTimer(nullptr, StepTimer);
        StepTimer = 0;
    }
}

static int LoopEnd()
{
    if (StepTimer)
        KillTimer(nullptr, StepTimer);
    StepTimer = 0;
    return 0;
}

int RunEventLoop()
{
    MSG msg;
    DWORD wakeMask = FullWakeMask;
    for (;;) {
        KeepStepTimer();
        DWORD woken = ShellApi.wait(2, Audio.events, FALSE, StreamWaitTimeout(), wakeMask);
        if (woken == WAIT_FAILED) {
            if (wakeMask == FullWakeMask && GetLastError() == ERROR_INVALID_PARAMETER) {
                wakeMask = Windows7WakeMask;  // a system older than touch and pen
                continue;
            }
            // Waiting again would fail again, at once: a loop that spins.
            StopWithError(WaitFailedMessage);
            return LoopEnd();
        }
        if (woken == WAIT_OBJECT_0 || woken == WAIT_OBJECT_0 + 1) {
            if (!RunStep(static_cast<int>(woken - WAIT_OBJECT_0)))
                return LoopEnd();
            continue;
        }
        // A time-out or messages. A steady stream of messages (the mouse over
        // our windows) would keep the wait from ever timing out, so the
        // devices are checked at such wakes too.
        if (!DevicesChecked())
            return LoopEnd();
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            if (QuitFlag)
                return LoopEnd();
        }
    }
}

int VoxotropeMain(HINSTANCE instance, HINSTANCE, LPSTR, int show)
{
    RegisterWindowClasses(instance);
    HWND mainWindow = CreateWindowExA(0, "Voxotrope", "Voxotrope", WS_POPUP, 350, 300, FrameWidth,
                                      FrameHeight, nullptr, nullptr, instance, nullptr);
    if (mainWindow) {
        ShowWindow(mainWindow, show);
        UpdateWindow(mainWindow);
    }
    if (QuitFlag)
        return 0;  // the set-up failed and the main window is gone
    return RunEventLoop();
}
