#include <gtest/gtest.h>
#include <cstdlib>
#include "app.h"
#include "audio_objects.h"
#include "carrier.h"
#include "chain.h"
#include "device_dialog.h"
#include "dialog_watch.h"
#include "fake_devices.h"
#include "main_window.h"
#include "resource.h"
#include "shell_api.h"
#include "stream.h"
#include "windows_ui.h"

namespace {

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

// A fresh program state around each test, with the fake sound system.
struct MainWindowTest : ::testing::Test {
    FakeSound fake;
    HWND main = nullptr;

    void SetUp() override
    {
        RegisterWindowClasses(Instance());
        QuitFlag = 0;
        Transport = 0;
        PendingError = nullptr;
        Audio = AudioObjects{};
        ChosenDevice = nullptr;
        ResetChainState();
        PlayWriteCursor = ResyncRequest;
    }
    void TearDown() override
    {
        if (main && IsWindow(main))
            DestroyWindow(main);
        ReleaseCarrier();
        ResetChainState();
    }
    HWND CreateMain()
    {
        main = CreateWindowExA(0, "Voxotrope", "Voxotrope", WS_POPUP, 350, 300, 150, 100, nullptr, nullptr,
                               Instance(), nullptr);
        return main;
    }
    HWND Child(int id) { return GetDlgItem(main, id); }
    std::string Text(HWND window)
    {
        char text[64] = {};
        GetWindowTextA(window, text, sizeof text);
        return text;
    }
};

int CountWindowsOfClass(const char* className)
{
    struct Search {
        const char* name;
        int count;
    } search = {className, 0};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM context) -> BOOL {
            auto* s = reinterpret_cast<Search*>(context);
            char name[64] = {};
            GetClassNameA(window, name, sizeof name);
            if (strcmp(name, s->name) == 0 && IsWindow(window))
                s->count++;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.count;
}

TEST(StartUp, SkipsTheProgramNameQuotedOrNot)
{
    char quoted[] = "\"C:\\Program Files\\voxotrope.exe\"   --ignored text";
    EXPECT_STREQ(SkipProgramName(quoted), "--ignored text");
    char plain[] = "voxotrope.exe  a b";
    EXPECT_STREQ(SkipProgramName(plain), "a b");
    char alone[] = "voxotrope.exe";
    EXPECT_STREQ(SkipProgramName(alone), "");
    char unclosed[] = "\"voxotrope.exe";
    EXPECT_STREQ(SkipProgramName(unclosed), "");
}

TEST(StartUp, RegistersTheTenWindowClasses)
{
    RegisterWindowClasses(Instance());
    const struct {
        const char* name;
        WNDPROC procedure;
    } expected[] = {
        {"Voxotrope", MainWindowProc}, {"ABOUT", AboutProc},
        {"Pitch", PanelProcedures[FxPitch]}, {"Volume", PanelProcedures[FxVolume]},
        {"Triangle", PanelProcedures[FxTriangle]}, {"AM", PanelProcedures[FxAM]},
        {"Reverse", PanelProcedures[FxReverse]}, {"Slider", SliderProc},
        {"Crazy", PanelProcedures[FxCrazy]}, {"Deeper", PanelProcedures[FxDeeper]},
    };
    for (const auto& entry : expected) {
        WNDCLASSA found = {};
        ASSERT_TRUE(GetClassInfoA(Instance(), entry.name, &found)) << entry.name;
        EXPECT_EQ(found.lpfnWndProc, entry.procedure) << entry.name;
        EXPECT_EQ(found.style, 0u) << entry.name;
        EXPECT_EQ(found.hbrBackground, nullptr) << entry.name;
        EXPECT_NE(found.hIcon, nullptr) << entry.name;
        EXPECT_EQ(found.hCursor, LoadCursorA(nullptr, IDC_ARROW)) << entry.name;
    }
}

TEST_F(MainWindowTest, CreationBuildsTheFourButtonsAtTheirPlaces)
{
    ASSERT_NE(CreateMain(), nullptr);
    const struct {
        int id;
        const char* text;
        RECT rect;
    } buttons[] = {
        {IDC_START, "Start", {5, 30, 45, 50}},
        {IDC_FX, "FX", {105, 30, 145, 50}},
        {IDC_ABOUT, "About", {55, 60, 95, 80}},
        {IDC_CLOSE, "X", {140, 0, 150, 10}},
    };
    HWND child = GetWindow(main, GW_CHILD);  // first created comes first
    for (const auto& button : buttons) {
        HWND window = Child(button.id);
        ASSERT_NE(window, nullptr) << button.text;
        EXPECT_EQ(window, child) << button.text;
        EXPECT_EQ(Text(window), button.text);
        EXPECT_EQ(GetWindowLongA(window, GWL_STYLE) & 0xFFFF0FFF, 0x50000300) << button.text;
        RECT rect;
        GetWindowRect(window, &rect);
        MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&rect), 2);
        EXPECT_TRUE(EqualRect(&rect, &button.rect)) << button.text;
        child = GetWindow(child, GW_HWNDNEXT);
    }
}

TEST_F(MainWindowTest, SetUpRunsEveryStepInOrderWithTheProgramsFormat)
{
    ASSERT_NE(CreateMain(), nullptr);
    std::vector<std::string> expected = {
        "DirectSoundCreate",        "SetCooperativeLevel 3", "CreatePrimary", "Primary.Play",
        "CreateSecondary",          "DirectSoundCaptureCreate", "CreateCaptureBuffer",
    };
    EXPECT_EQ(fake.calls, expected);
    EXPECT_EQ(fake.createdWith, nullptr);  // two outputs: the default device, no dialog
    EXPECT_EQ(fake.primaryDescription.dwSize, sizeof(DSBUFFERDESC1));
    EXPECT_EQ(fake.primaryDescription.dwFlags, DSBCAPS_PRIMARYBUFFER);
    EXPECT_EQ(fake.secondaryDescription.dwSize, sizeof(DSBUFFERDESC1));
    EXPECT_EQ(fake.secondaryDescription.dwFlags, 0x18100u);
    EXPECT_EQ(fake.secondaryDescription.dwBufferBytes, 16000u);
    EXPECT_EQ(fake.captureDescription.dwSize, sizeof(DSCBUFFERDESC1));
    EXPECT_EQ(fake.captureDescription.dwFlags, 0u);
    EXPECT_EQ(fake.captureDescription.dwBufferBytes, 16000u);
    for (const WAVEFORMATEX& format : {fake.secondaryFormat, fake.captureFormat}) {
        EXPECT_EQ(format.wFormatTag, WAVE_FORMAT_PCM);
        EXPECT_EQ(format.nChannels, 1);
        EXPECT_EQ(format.nSamplesPerSec, 22050u);
        EXPECT_EQ(format.nAvgBytesPerSec, 44100u);
        EXPECT_EQ(format.nBlockAlign, 2);
        EXPECT_EQ(format.wBitsPerSample, 16);
    }
    ASSERT_EQ(fake.notify.count, 2u);
    EXPECT_EQ(fake.notify.positions[0].dwOffset, 7998u);
    EXPECT_EQ(fake.notify.positions[0].hEventNotify, Audio.events[0]);
    EXPECT_EQ(fake.notify.positions[1].dwOffset, 15998u);
    EXPECT_EQ(fake.notify.positions[1].hEventNotify, Audio.events[1]);
    EXPECT_NE(WorkBuffers[0], nullptr);
    EXPECT_NE(WorkBuffers[1], nullptr);
    EXPECT_EQ(Transport, 0);  // rings stay stopped until Start
}

TEST_F(MainWindowTest, StartStopTogglesTheButtonText)
{
    ASSERT_NE(CreateMain(), nullptr);
    HWND start = Child(IDC_START);
    SendMessageA(main, WM_COMMAND, IDC_START, reinterpret_cast<LPARAM>(start));
    EXPECT_EQ(Text(start), "Stop");
    EXPECT_EQ(Transport, 1);
    // Only the low 16 bits name the command.
    SendMessageA(main, WM_COMMAND, MAKEWPARAM(IDC_START, BN_CLICKED), reinterpret_cast<LPARAM>(start));
    EXPECT_EQ(Text(start), "Start");
    EXPECT_EQ(Transport, 0);
}

TEST_F(MainWindowTest, EveryMessageRequestsAResync)
{
    ASSERT_NE(CreateMain(), nullptr);
    for (UINT msg : {WM_NULL, WM_MOUSEMOVE, WM_PAINT, WM_USER + 5}) {
        PlayWriteCursor = 1234;
        SendMessageA(main, msg, 0, 0);
        EXPECT_EQ(PlayWriteCursor, ResyncRequest) << msg;
    }
}

TEST_F(MainWindowTest, AnEffectCommandTwiceOpensOnePanel)
{
    ASSERT_NE(CreateMain(), nullptr);
    SendMessageA(main, WM_COMMAND, IDM_PITCH, 0);
    SendMessageA(main, WM_COMMAND, IDM_PITCH, 0);
    EXPECT_EQ(CountWindowsOfClass("Pitch"), 1);
    EXPECT_EQ(EffectFlags[FxPitch], 1);
    SendMessageA(main, WM_COMMAND, 40008, 0);  // the list box ID is no command
    for (int fx = 0; fx < EffectCount; fx++)
        EXPECT_EQ(EffectFlags[fx], fx == FxPitch) << fx;
}

TEST_F(MainWindowTest, PanelsOpenAtTheUnseededRandPositions)
{
    ASSERT_NE(CreateMain(), nullptr);
    srand(1);  // the state of a program that never seeds
    // The C runtime's generator from seed 1 yields 41, 18467, 6334, 26500,
    // 19169, 15724, 11478, 29358, ...: x = 300 - 41 % 256, y = 300 - 6334 % 128.
    const struct {
        WORD command;
        const char* className;
        POINT at;
    } openings[] = {{IDM_CRAZY, "Crazy", {259, 238}}, {IDM_DEEPER, "Deeper", {75, 214}}};
    for (const auto& opening : openings) {
        SendMessageA(main, WM_COMMAND, opening.command, 0);
        HWND panel = FindWindowA(opening.className, nullptr);
        ASSERT_NE(panel, nullptr) << opening.className;
        RECT rect;
        GetWindowRect(panel, &rect);
        EXPECT_EQ(rect.left, opening.at.x) << opening.className;
        EXPECT_EQ(rect.top, opening.at.y) << opening.className;
        EXPECT_EQ(rect.right - rect.left, 150);
        EXPECT_EQ(rect.bottom - rect.top, 100);
        EXPECT_EQ(GetWindow(panel, GW_OWNER), main);
        EXPECT_TRUE(IsWindowVisible(panel));
    }
}

TEST_F(MainWindowTest, ClosingTheMainWindowClosesEveryPanel)
{
    ASSERT_NE(CreateMain(), nullptr);
    for (WORD command : {IDM_PITCH, IDM_VOLUME, IDM_TRIANGLE, IDM_AM, IDM_REVERSE, IDM_CRAZY, IDM_DEEPER})
        SendMessageA(main, WM_COMMAND, command, 0);
    for (int fx = 0; fx < EffectCount; fx++)
        ASSERT_EQ(EffectFlags[fx], 1) << fx;
    SendMessageA(main, WM_COMMAND, IDC_CLOSE, 0);
    EXPECT_FALSE(IsWindow(main));
    EXPECT_EQ(QuitFlag, 1);
    for (int fx = 0; fx < EffectCount; fx++)
        EXPECT_EQ(EffectFlags[fx], 0) << fx;
    for (const char* name : PanelClassNames)
        EXPECT_EQ(CountWindowsOfClass(name), 0) << name;
}

TEST_F(MainWindowTest, CloseButtonEndsTheLoop)
{
    ASSERT_NE(CreateMain(), nullptr);
    PostMessageA(Child(IDC_CLOSE), BM_CLICK, 0, 0);
    EXPECT_EQ(RunEventLoop(), 0);
    EXPECT_EQ(QuitFlag, 1);
    EXPECT_FALSE(IsWindow(main));
}

TEST_F(MainWindowTest, LoopRunsOneBlockStepPerCaptureEvent)
{
    ASSERT_NE(CreateMain(), nullptr);
    for (size_t i = 0; i < fake.captureRing.bytes.size(); i++)
        fake.captureRing.bytes[i] = static_cast<uint8_t>(i % 251);
    PlayWriteCursor = 0;
    SetEvent(Audio.events[1]);
    PostMessageA(main, WM_COMMAND, IDC_CLOSE, 0);
    EXPECT_EQ(RunEventLoop(), 0);
    // Half 1 went through once (the close came after it).
    EXPECT_EQ(fake.playback.lastLengths[0], 8000u);
    EXPECT_TRUE(std::equal(fake.captureRing.bytes.begin() + 8000, fake.captureRing.bytes.end(),
                           fake.playback.bytes.begin() + fake.playback.lastLockOffset));
}

DWORD AskedWakeMask;  // every bit a wait was asked for

// Windows 7's wait: any wake bit it does not know (touch, pen) makes it fail
// at once.
DWORD WINAPI Windows7Wait(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds, DWORD wakeMask)
{
    if (wakeMask & ~0x4FFu) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    AskedWakeMask |= wakeMask;
    return MsgWaitForMultipleObjects(count, handles, waitAll, milliseconds, wakeMask & 0xFF);
}

// A wait that fails whatever it is asked.
DWORD WINAPI BrokenWait(DWORD, const HANDLE*, BOOL, DWORD, DWORD)
{
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
}

// Puts the real entry points back whatever a test does.
struct ShellApiStandIn {
    ShellEntryPoints saved = ShellApi;
    ~ShellApiStandIn() { ShellApi = saved; }
};

// Regression: the loop asked to wake for the headers' QS_ALLINPUT, whose
// touch and pointer bits Windows 7 refuses; there every wait failed and no
// block step ever ran.
TEST_F(MainWindowTest, WakeMaskThatWindows7RefusesStopsTheBlockSteps)
{
    ShellApiStandIn standIn;
    ShellApi.wait = Windows7Wait;
    AskedWakeMask = 0;
    ASSERT_NE(CreateMain(), nullptr);
    PlayWriteCursor = 0;
    SetEvent(Audio.events[0]);
    PostMessageA(main, WM_COMMAND, IDC_CLOSE, 0);
    EXPECT_EQ(RunEventLoop(), 0);
    EXPECT_EQ(fake.playback.lastLengths[0], 8000u);  // half 0 went through
    EXPECT_TRUE(std::equal(fake.captureRing.bytes.begin(), fake.captureRing.bytes.begin() + 8000,
                           fake.playback.bytes.begin()));
    EXPECT_EQ(AskedWakeMask, 0x4FFu);  // the waits it took asked for raw input too
}

// Regression: any failed wait was retried at once, and a wait that failed
// for good spun the loop at full speed. It ends the program with a message.
TEST_F(MainWindowTest, WaitThatFailsForGoodIsReportedOnce)
{
    ShellApiStandIn standIn;
    ShellApi.wait = BrokenWait;
    DialogWatch watch;
    ASSERT_NE(CreateMain(), nullptr);
    EXPECT_EQ(RunEventLoop(), 0);
    ASSERT_EQ(watch.seen.size(), 1u);
    EXPECT_EQ(watch.seen[0].text, WaitFailedMessage);
    EXPECT_FALSE(IsWindow(main));
}

// A failed GetCursorPos may leave anything in the point, as the stack held it.
BOOL WINAPI NoCursor(LPPOINT point)
{
    *point = POINT{-31000, 29000};
    return FALSE;
}

RECT OpenedMenu;

void CALLBACK NoteAndCloseMenu(HWND, UINT, UINT_PTR, DWORD)
{
    HWND menu = FindWindowA("#32768", nullptr);
    if (menu && IsWindowVisible(menu)) {
        GetWindowRect(menu, &OpenedMenu);
        EndMenu();
    }
}

// Regression: where GetCursorPos fails (a secure desktop, a locked session)
// the FX menu was tracked at an uninitialised point.
TEST_F(MainWindowTest, FxMenuWithoutTheCursorPositionOpensBelowTheFxButton)
{
    ShellApiStandIn standIn;
    ShellApi.cursorPos = NoCursor;
    ASSERT_NE(CreateMain(), nullptr);
    OpenedMenu = {};
    UINT_PTR timer = SetTimer(nullptr, 0, 50, NoteAndCloseMenu);
    SendMessageA(main, WM_COMMAND, IDC_FX, 0);  // returns when the menu has closed
    KillTimer(nullptr, timer);
    POINT below = {105, 50};
    ClientToScreen(main, &below);
    EXPECT_EQ(OpenedMenu.left, below.x);
    EXPECT_EQ(OpenedMenu.top, below.y);
}

TEST_F(MainWindowTest, TearDownStopsTheRingsShowsTheErrorThenReleasesInReverse)
{
    DialogWatch watch;
    watch.calls = &fake.calls;
    ASSERT_NE(CreateMain(), nullptr);
    SendMessageA(main, WM_COMMAND, IDC_START, reinterpret_cast<LPARAM>(Child(IDC_START)));
    fake.calls.clear();
    fake.captureRing.failLock = true;
    EXPECT_FALSE(BlockStep(0));
    EXPECT_FALSE(IsWindow(main));
    EXPECT_EQ(QuitFlag, 1);
    std::vector<std::string> expected = {
        "PlaybackRing.Stop",  "CaptureRing.Stop",
        "Primary.Stop",
        "MessageBox Unable to lock capture buffer! If you have other sound-applications running please "
        "close them and restart Voxotrope!",
        "Notify.Release",     "CaptureRing.Release", "Capture.Release",
        "PlaybackRing.Release", "Primary.Release",   "Sound.Release",
    };
    EXPECT_EQ(fake.calls, expected);
    ASSERT_EQ(watch.seen.size(), 1u);
    EXPECT_EQ(watch.seen[0].caption, "Voxotrope");
    EXPECT_EQ(watch.seen[0].owner, nullptr);
    EXPECT_EQ(WorkBuffers[0], nullptr);
}

// A system from Windows 8 on: the full mask is taken, and every wait asks
// for touch and pen input too.
DWORD WINAPI Windows8Wait(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds, DWORD wakeMask)
{
    AskedWakeMask |= wakeMask;
    return MsgWaitForMultipleObjects(count, handles, waitAll, milliseconds, wakeMask & 0xFF);
}

TEST_F(MainWindowTest, LoopWakesForTouchAndPenWhereTheSystemHasThem)
{
    ShellApiStandIn standIn;
    ShellApi.wait = Windows8Wait;
    AskedWakeMask = 0;
    ASSERT_NE(CreateMain(), nullptr);
    PostMessageA(main, WM_COMMAND, IDC_CLOSE, 0);
    EXPECT_EQ(RunEventLoop(), 0);
    EXPECT_EQ(AskedWakeMask, 0x1CFFu);
}

void CALLBACK CloseMainWindow(HWND, UINT, UINT_PTR, DWORD)
{
    DestroyWindow(FindWindowA("Voxotrope", "Voxotrope"));
}

// Regression: when the sound server went away or a USB headset was unplugged
// during streaming, the capture notifications stopped and the loop waited for
// them for ever, showing "Stop" and playing nothing, without a word.
TEST_F(MainWindowTest, CaptureThatStopsWhileRunningEndsWithAMessage)
{
    DialogWatch watch;
    ASSERT_NE(CreateMain(), nullptr);
    SendMessageA(main, WM_COMMAND, IDC_START, reinterpret_cast<LPARAM>(Child(IDC_START)));
    fake.captureRing.captureCursor = 1684;  // where it stands still from now on
    SetEvent(Audio.events[1]);         // the last notification
    UINT_PTR lastResort = SetTimer(nullptr, 0, 4000, CloseMainWindow);
    DWORD begun = GetTickCount();
    EXPECT_EQ(RunEventLoop(), 0);
    DWORD took = GetTickCount() - begun;
    KillTimer(nullptr, lastResort);
    ASSERT_EQ(watch.seen.size(), 1u);
    EXPECT_EQ(watch.seen[0].text, "Sound capture has stopped! If your sound device was unplugged or your sound "
                                  "system was shut down please bring it back and restart Voxotrope!");
    EXPECT_GE(took, 1000u);  // well over a block period of silence first
    EXPECT_LE(took, 2000u);
    EXPECT_FALSE(IsWindow(main));
}

// The output device stops (a headset unplugged) while capture goes on: its
// play cursor moves for half a second, then stands still.
FakeSound* Running;
DWORD RunningSince;
void CALLBACK CaptureGoesOn(HWND, UINT, UINT_PTR, DWORD)
{
    SetEvent(Audio.events[0]);
    if (GetTickCount() - RunningSince < 500)
        Running->playback.playCursor = (Running->playback.playCursor + 4410) % 16000;
}

TEST_F(MainWindowTest, OutputThatStopsWhileCaptureRunsEndsWithAMessage)
{
    DialogWatch watch;
    ASSERT_NE(CreateMain(), nullptr);
    SendMessageA(main, WM_COMMAND, IDC_START, reinterpret_cast<LPARAM>(Child(IDC_START)));
    Running = &fake;
    RunningSince = GetTickCount();
    UINT_PTR capture = SetTimer(nullptr, 0, 100, CaptureGoesOn);
    UINT_PTR lastResort = SetTimer(nullptr, 0, 6000, CloseMainWindow);
    EXPECT_EQ(RunEventLoop(), 0);
    DWORD took = GetTickCount() - RunningSince;
    KillTimer(nullptr, capture);
    KillTimer(nullptr, lastResort);
    ASSERT_EQ(watch.seen.size(), 1u);
    EXPECT_EQ(watch.seen[0].text, OutputStoppedMessage);
    EXPECT_GE(took, 1300u);  // a second after the cursor was first seen still
    EXPECT_LE(took, 2500u);
}

// Devices that go on: a capture event and 100 ms of playback every 100 ms.
void CALLBACK DevicesGoOn(HWND, UINT, UINT_PTR, DWORD)
{
    SetEvent(Audio.events[0]);
    Running->playback.playCursor = (Running->playback.playCursor + 4410) % 16000;
    Running->playback.writeCursor = (Running->playback.playCursor + 440) % 16000;
}

int StepsInMenu;
void CALLBACK EndMenuAndClose(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    EndMenu();
    PostMessageA(FindWindowA("Voxotrope", "Voxotrope"), WM_COMMAND, IDC_CLOSE, 0);
}

// Regression: while the FX menu was open no block step ran, and the output
// repeated the ring's last 362 ms for as long as a person read the menu.
TEST_F(MainWindowTest, SoundGoesOnWhileTheFxMenuIsOpen)
{
    ASSERT_NE(CreateMain(), nullptr);
    SendMessageA(main, WM_COMMAND, IDC_START, reinterpret_cast<LPARAM>(Child(IDC_START)));
    Running = &fake;
    StepsInMenu = 0;
    BlockStepTrace = [](const BlockStepRecord&) {
        HWND menu = FindWindowA("#32768", nullptr);
        StepsInMenu += menu && IsWindowVisible(menu);
    };
    UINT_PTR devices = SetTimer(nullptr, 0, 100, DevicesGoOn);
    SetTimer(nullptr, 0, 1000, EndMenuAndClose);
    PostMessageA(main, WM_COMMAND, IDC_FX, 0);
    EXPECT_EQ(RunEventLoop(), 0);
    KillTimer(nullptr, devices);
    BlockStepTrace = nullptr;
    EXPECT_GE(StepsInMenu, 7);  // of the ten events in the second the menu was open
    EXPECT_EQ(PendingError, nullptr);
}

struct FailingStep {
    FailAt step;
    const char* message;
    std::vector<std::string> released;  // in the order of release
};

class MainWindowSetUpFailure : public MainWindowTest, public ::testing::WithParamInterface<FailingStep> {};

TEST_P(MainWindowSetUpFailure, ShowsItsTextOnceAndReleasesWhatWasCreated)
{
    DialogWatch watch;
    watch.calls = &fake.calls;
    fake.Fail(GetParam().step);
    EXPECT_EQ(CreateMain(), nullptr);  // destroyed inside its creation
    EXPECT_EQ(QuitFlag, 1);
    ASSERT_EQ(watch.seen.size(), 1u);
    EXPECT_EQ(watch.seen[0].text, GetParam().message);
    EXPECT_EQ(watch.seen[0].caption, "Voxotrope");
    auto box = std::find(fake.calls.begin(), fake.calls.end(), std::string("MessageBox ") + GetParam().message);
    ASSERT_NE(box, fake.calls.end());
    std::vector<std::string> after(box + 1, fake.calls.end());
    EXPECT_EQ(after, GetParam().released);
    EXPECT_EQ(WorkBuffers[0], nullptr);
    EXPECT_EQ(Audio.events[0], nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, MainWindowSetUpFailure,
    ::testing::Values(
        FailingStep{FailAt::Create, "Error creating DirectSound object!", {}},
        FailingStep{FailAt::Primary, "Error creating DirectSound primary buffer!", {"Sound.Release"}},
        FailingStep{FailAt::Secondary, "Error creating DirectSound secondary buffer!",
                    {"Primary.Release", "Sound.Release"}},
        FailingStep{FailAt::CaptureCreate, "Error creating DirectSoundCapture object!",
                    {"PlaybackRing.Release", "Primary.Release", "Sound.Release"}},
        FailingStep{FailAt::CaptureBuffer, "Error creating DirectSound capture buffer!",
                    {"Capture.Release", "PlaybackRing.Release", "Primary.Release", "Sound.Release"}},
        FailingStep{FailAt::Notify, "Error creating DirectSoundNotify interface!",
                    {"CaptureRing.Release", "Capture.Release", "PlaybackRing.Release", "Primary.Release",
                     "Sound.Release"}},
        FailingStep{FailAt::Positions, "Error setting DirectSound notification positions!",
                    {"Notify.Release", "CaptureRing.Release", "Capture.Release", "PlaybackRing.Release",
                     "Primary.Release", "Sound.Release"}}));

// The device dialog, answered by a hook as it appears.
TEST_F(MainWindowTest, DeviceDialogShowsWithThreeEntriesAndTheFirstSelected)
{
    static const GUID second = {0xAAAA, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
    fake.outputs.insert(fake.outputs.begin() + 1, {&second, "Second output"});
    int selected = -2;
    int count = 0;
    DialogWatch watch([&](HWND dialog) {
        HWND list = GetDlgItem(dialog, IDC_DEVICELIST);
        selected = static_cast<int>(SendMessageA(list, LB_GETCURSEL, 0, 0));
        count = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
        PostMessageA(list, LB_SETCURSEL, 1, 0);
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    });
    ASSERT_NE(CreateMain(), nullptr);
    ASSERT_EQ(watch.seen.size(), 1u);
    EXPECT_EQ(watch.seen[0].caption, "Select Device");
    EXPECT_EQ(watch.seen[0].owner, main);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(selected, 0);
    // The second entry was chosen: the device gets a copy of its GUID.
    ASSERT_NE(fake.createdWith, nullptr);
    EXPECT_NE(fake.createdWith, &second);
    EXPECT_TRUE(IsEqualGUID(*fake.createdWith, second));
}

TEST_F(MainWindowTest, DeviceDialogOkOnTheDefaultEntryChoosesTheDefaultDevice)
{
    fake.outputs.push_back({&IID_IDirectSoundNotify, "Third"});
    DialogWatch watch([](HWND dialog) { PostMessageA(dialog, WM_COMMAND, IDOK, 0); });
    ASSERT_NE(CreateMain(), nullptr);
    EXPECT_EQ(fake.createdWith, nullptr);
}

TEST_F(MainWindowTest, DeviceDialogCancelEndsWithoutAMessage)
{
    fake.outputs.push_back({&IID_IDirectSoundNotify, "Third"});
    DialogWatch watch([](HWND dialog) { PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0); });
    EXPECT_EQ(CreateMain(), nullptr);
    EXPECT_EQ(QuitFlag, 1);
    EXPECT_EQ(watch.seen.size(), 1u);  // the dialog itself, no message box
    EXPECT_TRUE(fake.calls.empty());
}

TEST_F(MainWindowTest, NoOutputDeviceEndsWithoutADialogOrMessage)
{
    fake.outputs.clear();
    DialogWatch watch;
    EXPECT_EQ(CreateMain(), nullptr);
    EXPECT_EQ(QuitFlag, 1);
    EXPECT_TRUE(watch.seen.empty());
    EXPECT_TRUE(fake.calls.empty());
}

}  // namespace
