// The AM panel and its carrier: the default carrier for each opening, its
// release at closing, and the load command with the open-file dialog, which
// a timer drives from inside the dialog's own message loop.
#include "ui_support.h"
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include "carrier.h"
#include "carrier_file.h"
#include "panel.h"
#include "panel_am.h"
#include "resource.h"

namespace {

// What the replaced carrier operations saw.
struct Record {
    int creates = 0, releases = 0, loads = 0;
    int flagAtCreate = -1, flagAtRelease = -1;
    bool failCreate = false;
    HWND loadOwner = nullptr;
    std::string loadPath;
    const int16_t** loadSamples = nullptr;
    uint32_t* loadLength = nullptr;
    uint8_t* installBlock = nullptr;  // installed by the loader when set
} Seen;

bool RecordingCreate()
{
    Seen.creates++;
    Seen.flagAtCreate = EffectFlags[FxAM];
    return Seen.failCreate ? false : CreateDefaultCarrier();
}

void RecordingRelease()
{
    Seen.releases++;
    Seen.flagAtRelease = EffectFlags[FxAM];
    ReleaseCarrier();
}

void RecordingLoad(HWND owner, const char* path, const int16_t** samples, uint32_t* length)
{
    Seen.loads++;
    Seen.loadOwner = owner;
    Seen.loadPath = path;
    Seen.loadSamples = samples;
    Seen.loadLength = length;
    if (Seen.installBlock) {
        InstallCarrier(Seen.installBlock, 8);
        Seen.installBlock = nullptr;
    }
}

// A carrier block of four samples, as the loader would leave it.
uint8_t* SmallCarrier()
{
    auto* block = static_cast<uint8_t*>(calloc(1, WaveHeaderSize + 8));
    const int16_t samples[4] = {10, 20, 30, 40};
    memcpy(block + WaveHeaderSize, samples, sizeof samples);
    return block;
}

// What the timer does once the open-file dialog is up.
enum class DialogAction { Cancel, Choose, ClosePanelThenChoose, PressAgainThenCancel };

struct DialogDriver {
    DialogAction action;
    std::string path;
    HWND panel;
    int ticks;
    bool seen;
    size_t mostDialogs;      // the most dialogs open at one tick
    std::string foreground;  // PressAgainThenCancel: the foreground window's class after the second press
} Driver;

BOOL CALLBACK FindEdit(HWND child, LPARAM lParam)
{
    if (ClassOf(child) == "Edit" && IsWindowVisible(child)) {
        *reinterpret_cast<HWND*>(lParam) = child;
        return FALSE;
    }
    return TRUE;
}

std::vector<HWND> OpenDialogs()
{
    std::vector<HWND> shown;
    for (HWND window : ThreadWindows("#32770"))
        if (IsWindowVisible(window))
            shown.push_back(window);
    return shown;
}

HWND OpenDialog()
{
    std::vector<HWND> shown = OpenDialogs();
    return shown.empty() ? nullptr : shown.front();
}

void CALLBACK DriveDialog(HWND, UINT, UINT_PTR, DWORD)
{
    HWND dialog = OpenDialog();
    if (!dialog)
        return;
    Driver.mostDialogs = std::max(Driver.mostDialogs, OpenDialogs().size());
    if (++Driver.ticks < 3)
        return;  // let it finish filling itself in
    if (Driver.ticks > 60) {  // it does not take our answer: give up
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        return;
    }
    Driver.seen = true;
    if (Driver.action == DialogAction::Cancel) {
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        return;
    }
    if (Driver.action == DialogAction::PressAgainThenCancel) {
        Driver.action = DialogAction::Cancel;  // a nested dialog, if any, is cancelled too
        SetForegroundWindow(Driver.panel);
        SendMessageA(Driver.panel, WM_COMMAND, MAKEWPARAM(IDC_LOADWAVE, BN_CLICKED), 0);
        Driver.foreground = ClassOf(GetForegroundWindow());
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        return;
    }
    if (Driver.action == DialogAction::ClosePanelThenChoose && IsWindow(Driver.panel))
        DestroyWindow(Driver.panel);
    HWND edit = nullptr;
    EnumChildWindows(dialog, FindEdit, reinterpret_cast<LPARAM>(&edit));
    if (!edit)
        return;
    SetWindowTextA(edit, Driver.path.c_str());
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
}

struct AMPanelTest : UiTest {
    AMCarrierOps saved = AMCarrier;
    std::string wavePath;

    void SetUp() override
    {
        UiTest::SetUp();
        Seen = Record{};
        AMCarrier = AMCarrierOps{RecordingCreate, RecordingRelease, RecordingLoad};
        char folder[MAX_PATH] = {};
        GetTempPathA(sizeof folder, folder);
        wavePath = std::string(folder) + "voxotrope-ui-carrier.wav";
        HANDLE file = CreateFileA(wavePath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(file, "RIFF", 4, &written, nullptr);
        CloseHandle(file);
        memset(CarrierFileName, 0, sizeof CarrierFileName);
        PrepareOpenFileRequest(nullptr);
    }
    void TearDown() override
    {
        AMCarrier = saved;
        DeleteFileA(wavePath.c_str());
        memset(CarrierFileName, 0, sizeof CarrierFileName);
        UiTest::TearDown();
    }
    // Presses the open button's command with the dialog driven by `action`.
    void Load(HWND panel, DialogAction action)
    {
        Driver = DialogDriver{action, wavePath, panel, 0, false, 0, ""};
        UINT_PTR timer = SetTimer(nullptr, 0, 50, DriveDialog);
        SendMessageA(panel, WM_COMMAND, MAKEWPARAM(IDC_LOADWAVE, BN_CLICKED), 0);
        KillTimer(nullptr, timer);
        EXPECT_TRUE(Driver.seen) << "the open-file dialog did not come up";
    }
};

void ExpectDefaultCarrier()
{
    ASSERT_NE(CarrierWave.samples, nullptr);
    EXPECT_EQ(CarrierWave.length, 1000u);
    EXPECT_EQ(CarrierWave.readPosition, CarrierWave.samples);
    EXPECT_EQ(CarrierWave.samples[0], -4000);
    EXPECT_EQ(CarrierWave.samples[15], -4000);
    EXPECT_EQ(CarrierWave.samples[16], 4000);
    EXPECT_EQ(CarrierWave.samples[499], 4000);
}

TEST_F(AMPanelTest, EachOpeningStartsFromTheDefaultCarrier)
{
    HWND panel = OpenPanel(FxAM);
    ExpectDefaultCarrier();
    InstallCarrier(SmallCarrier(), 8);  // as a successful load would
    EXPECT_EQ(CarrierWave.samples[0], 10);
    DestroyWindow(panel);
    EXPECT_EQ(CarrierWave.samples, nullptr);
    EXPECT_EQ(CarrierWave.readPosition, nullptr);
    panel = OpenPanel(FxAM);
    ExpectDefaultCarrier();
    DestroyWindow(panel);
}

TEST_F(AMPanelTest, TheCarrierExistsWhileTheFlagIsOn)
{
    DestroyWindow(OpenPanel(FxAM));
    EXPECT_EQ(Seen.creates, 1);
    EXPECT_EQ(Seen.flagAtCreate, 1);   // made after the effect went on...
    EXPECT_EQ(Seen.releases, 1);
    EXPECT_EQ(Seen.flagAtRelease, 1);  // ...and released before it goes off
    EXPECT_EQ(EffectFlags[FxAM], 0);
}

// Regression: without a default carrier the AM effect ran on an absent
// carrier. Now the panel does not open and the effect stays off.
TEST_F(AMPanelTest, WithoutADefaultCarrierThePanelDoesNotOpen)
{
    size_t tips = ThreadWindows(TOOLTIPS_CLASSA).size();
    Seen.failCreate = true;
    HWND panel = OpenPanel(FxAM);
    EXPECT_EQ(panel, nullptr);
    EXPECT_EQ(EffectFlags[FxAM], 0);
    EXPECT_EQ(CarrierWave.samples, nullptr);
    EXPECT_EQ(ThreadWindows("AM").size(), 0u);
    EXPECT_EQ(ThreadWindows(TOOLTIPS_CLASSA).size(), tips);
    Seen.failCreate = false;
    panel = OpenPanel(FxAM);
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(EffectFlags[FxAM], 1);
    ExpectDefaultCarrier();
}

TEST_F(AMPanelTest, CancellingTheDialogChangesNothing)
{
    HWND panel = OpenPanel(FxAM);
    CarrierWave.readPosition = CarrierWave.samples + 7;
    Load(panel, DialogAction::Cancel);
    EXPECT_EQ(Seen.loads, 0);
    EXPECT_EQ(CarrierWave.readPosition, CarrierWave.samples + 7);
    EXPECT_EQ(CarrierWave.length, 1000u);
}

TEST_F(AMPanelTest, AChosenFileGoesToTheLoaderAndTheCarrierRestarts)
{
    HWND panel = OpenPanel(FxAM);
    Seen.installBlock = SmallCarrier();
    Load(panel, DialogAction::Choose);
    ASSERT_EQ(Seen.loads, 1);
    EXPECT_EQ(Seen.loadOwner, panel);
    EXPECT_EQ(lstrcmpiA(Seen.loadPath.c_str(), wavePath.c_str()), 0);
    EXPECT_EQ(lstrcmpiA(CarrierFileName, wavePath.c_str()), 0);
    EXPECT_EQ(Seen.loadSamples, &CarrierWave.samples);
    EXPECT_EQ(Seen.loadLength, &CarrierWave.length);
    ASSERT_NE(CarrierWave.samples, nullptr);
    EXPECT_EQ(CarrierWave.samples[0], 10);
    EXPECT_EQ(CarrierWave.readPosition, CarrierWave.samples);
}

TEST_F(AMPanelTest, ARefusedFileRestartsTheKeptCarrier)
{
    HWND panel = OpenPanel(FxAM);
    const int16_t* kept = CarrierWave.samples;
    CarrierWave.readPosition = kept + 123;
    Load(panel, DialogAction::Choose);  // the loader installs nothing
    EXPECT_EQ(Seen.loads, 1);
    EXPECT_EQ(CarrierWave.samples, kept);
    EXPECT_EQ(CarrierWave.readPosition, kept);
}

// The panel stays usable while the dialog is up: pressing its button again
// brings that dialog forward instead of stacking a second one.
TEST_F(AMPanelTest, ASecondPressWhileTheDialogIsUpOpensNoSecondDialog)
{
    HWND main = PlainWindow();
    PrepareOpenFileRequest(main);
    HWND panel = OpenPanel(FxAM);
    Load(panel, DialogAction::PressAgainThenCancel);
    EXPECT_EQ(Driver.mostDialogs, 1u);
    EXPECT_EQ(Driver.foreground, "#32770");
    EXPECT_EQ(Seen.loads, 0);
    Load(panel, DialogAction::Cancel);  // and the button works again afterwards
}

// The dialog disables only the main window, so the panel can be closed while
// it is shown; the choice made afterwards must not load anything.
TEST_F(AMPanelTest, AChoiceAfterThePanelClosedIsDropped)
{
    HWND panel = OpenPanel(FxAM);
    Seen.installBlock = SmallCarrier();
    Load(panel, DialogAction::ClosePanelThenChoose);
    EXPECT_FALSE(IsWindow(panel));
    EXPECT_EQ(Seen.loads, 0);
    EXPECT_EQ(Seen.releases, 1);
    EXPECT_EQ(CarrierWave.samples, nullptr);
    EXPECT_EQ(CarrierWave.readPosition, nullptr);
    EXPECT_EQ(EffectFlags[FxAM], 0);
    free(Seen.installBlock);
    // The next opening starts from a new default carrier.
    panel = OpenPanel(FxAM);
    ExpectDefaultCarrier();
}

}  // namespace
