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

int RunEventLoop()
{
    MSG msg;
    DWORD wakeMask = FullWakeMask;
    for (;;) {
        DWORD woken = ShellApi.wait(2, Audio.events, FALSE, StreamWaitTimeout(), wakeMask);
        if (woken == WAIT_FAILED && wakeMask != LoopWakeMask) {
            wakeMask = LoopWakeMask;  // a system older than the mask
            continue;
        }
        if (woken == WAIT_OBJECT_0 || woken == WAIT_OBJECT_0 + 1) {
            CaptureNotified();
            if (!BlockStep(static_cast<int>(woken - WAIT_OBJECT_0)) || !OutputStallCheck())
                return 0;
            continue;
        }
        // A time-out or messages. A steady stream of messages (the mouse over
        // our windows) would keep the wait from ever timing out, so the
        // devices are checked at every such wake.
        if (!CaptureStallCheck() || !OutputStallCheck())
            return 0;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            if (QuitFlag)
                return 0;
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
