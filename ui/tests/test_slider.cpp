// The slider window in its Pitch and Volume panels, driven by the mouse
// messages it receives while it holds the capture.
#include "ui_support.h"
#include "panel.h"
#include "main_window.h"
#include "slider.h"
#include "stream.h"

namespace {

struct SliderTest : UiTest {
    HWND panel = nullptr;
    HWND slider = nullptr;
    int id = 0;

    void Open(EffectId effect)
    {
        panel = OpenPanel(effect);
        id = effect == FxPitch ? SliderPitch : SliderVolume;
        slider = GetDlgItem(panel, id);
        ASSERT_NE(slider, nullptr);
    }
    void Move(int y, WPARAM keys = MK_LBUTTON) { SendMessageA(slider, WM_MOUSEMOVE, keys, At(5, y)); }
    void Release(int y = 0) { SendMessageA(slider, WM_LBUTTONUP, 0, At(5, y)); }
    int Thumb() const { return SliderStates[id].thumbTop; }
    int Value() const { return ParameterTable.value[id]; }
    // Grabs the thumb in its middle and drags its top to `top`.
    void DragTo(int top)
    {
        int grab = Thumb() + 4;
        Move(grab);
        ASSERT_EQ(GetCapture(), slider);
        Move(grab + top - Thumb());
        ASSERT_EQ(Thumb(), top);
    }
};

TEST_F(SliderTest, PitchStartsInTheMiddleAndAClickKeepsTheValue)
{
    Open(FxPitch);
    EXPECT_EQ(Value(), 2);
    EXPECT_EQ(Thumb(), 18);
    Move(22);  // grabs; the thumb does not move on this message
    EXPECT_EQ(GetCapture(), slider);
    EXPECT_EQ(SliderDragActive, 1);
    EXPECT_EQ(Thumb(), 18);
    Release();
    EXPECT_EQ(Value(), 2);
    EXPECT_EQ(Thumb(), 17);
    EXPECT_EQ(SliderDragActive, 0);
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(SliderTest, PressAndReleaseWithoutMoveDoNothing)
{
    Open(FxPitch);
    SendMessageA(slider, WM_LBUTTONDOWN, MK_LBUTTON, At(5, 22));
    Release(22);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(Value(), 2);
    EXPECT_EQ(Thumb(), 18);
}

TEST_F(SliderTest, OnlyAMoveStrictlyInsideTheThumbGrabsIt)
{
    Open(FxPitch);
    Move(5);    // on the track above the thumb
    Move(18);   // its top row
    Move(27);   // the row below it
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(Thumb(), 18);
    Move(26);   // its bottom row, button still held
    EXPECT_EQ(GetCapture(), slider);
    EXPECT_EQ(Thumb(), 18);
    Move(20);
    EXPECT_EQ(Thumb(), 12);
}

TEST_F(SliderTest, FarAboveTheTrackStopsAtTheTopAndComesBackAtOnce)
{
    Open(FxPitch);
    Move(22);
    Move(-400);  // negative client y while the slider holds the capture
    EXPECT_EQ(Thumb(), 0);
    Move(-395);
    EXPECT_EQ(Thumb(), 5);
    Move(1000);
    EXPECT_EQ(Thumb(), 36);
}

struct PitchRelease {
    int top, value, thumbAfter;
};

class PitchReleaseTest : public SliderTest, public ::testing::WithParamInterface<PitchRelease> {};

TEST_P(PitchReleaseTest, SetsTheValueOnlyAtTheRelease)
{
    Open(FxPitch);
    DragTo(GetParam().top);
    EXPECT_EQ(Value(), 2);  // unchanged while dragging
    Release(500);           // anywhere: the slider holds the capture
    EXPECT_EQ(Value(), GetParam().value);
    EXPECT_EQ(Thumb(), GetParam().thumbAfter);
    EXPECT_EQ(GetCapture(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Rows, PitchReleaseTest, ::testing::Values(
    PitchRelease{0, 1, -1}, PitchRelease{16, 1, -1}, PitchRelease{17, 2, 17},
    PitchRelease{35, 3, 35}, PitchRelease{36, 3, 35}));

TEST_F(SliderTest, PitchThumbAtMinusOneCanBeGrabbedAndReopensAtTheTop)
{
    Open(FxPitch);
    DragTo(3);
    Release();
    ASSERT_EQ(Thumb(), -1);
    Move(0);
    EXPECT_EQ(GetCapture(), slider);
    Release();
    EXPECT_EQ(Value(), 1);
    DestroyWindow(panel);
    Open(FxPitch);
    EXPECT_EQ(Thumb(), 0);
}

TEST_F(SliderTest, VolumeTopAndBottom)
{
    Open(FxVolume);
    EXPECT_EQ(Thumb(), 0);
    DragTo(36);
    Release();
    EXPECT_EQ(Value(), 45);
    EXPECT_EQ(Thumb(), 36);
    DragTo(0);
    Release();
    EXPECT_EQ(Value(), 9);
    EXPECT_EQ(Thumb(), 0);
}

TEST_F(SliderTest, VolumeFirstClickAfterStartGivesNine)
{
    Open(FxVolume);
    Move(4);
    Release();
    EXPECT_EQ(Value(), 9);
    Move(5);
    Release();
    EXPECT_EQ(Value(), 9);  // later clicks in the same panel keep it
}

// Regression: each new Volume panel put the thumb one row lower, so clicking
// it raised the gain by one per panel up to 52, where the thumb stood below
// the track and could never be grabbed again.
TEST_F(SliderTest, VolumeClicksOnNewPanelsStopAt45AndTheThumbStaysGrabbable)
{
    ParameterTable.value[SliderVolume] = 44;
    for (int round = 0; round < 10; round++) {
        Open(FxVolume);
        EXPECT_EQ(Thumb(), 36);
        Move(40);
        EXPECT_EQ(GetCapture(), slider) << "round " << round;
        Release();
        EXPECT_EQ(Value(), 45) << "round " << round;
        DestroyWindow(panel);
    }
    Open(FxVolume);
    DragTo(0);
    Release();
    EXPECT_EQ(Value(), 9);
}

// Regression: a panel closed during a thumb drag left SliderDragActive set;
// afterwards a press on a slider's track dragged its thumb, and the release
// wrote a value the user never chose.
TEST_F(SliderTest, PanelClosedMidThumbDragLeavesNoDragBehind)
{
    Open(FxPitch);
    HWND pitchPanel = panel;
    Open(FxVolume);
    Move(4);
    DestroyWindow(pitchPanel);  // another slider goes: this drag goes on
    Move(10);
    EXPECT_EQ(Thumb(), 6);
    DestroyWindow(panel);  // Alt+F4 on the panel holding the drag
    Open(FxVolume);
    Move(40);  // a press on the track, below the thumb
    Release(40);
    EXPECT_EQ(Thumb(), 0);
    EXPECT_EQ(Value(), 8);
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(SliderTest, CtrlDuringADragLeavesTheThumbAndTheDragGoesOn)
{
    Open(FxPitch);
    Move(22);
    Move(25);
    ASSERT_EQ(Thumb(), 21);
    Move(10, MK_LBUTTON | MK_CONTROL);
    EXPECT_EQ(Thumb(), 21);
    EXPECT_EQ(GetCapture(), slider);
    EXPECT_EQ(SliderDragActive, 1);
    Move(12);  // measured from the last plain step at 25
    EXPECT_EQ(Thumb(), 8);
    Move(20, 0);  // no button: neither moves nor ends
    EXPECT_EQ(Thumb(), 8);
    EXPECT_EQ(SliderDragActive, 1);
    Release();
    EXPECT_EQ(Value(), 1);
}

TEST_F(SliderTest, TwoSlidersKeepTheirOwnThumbs)
{
    Open(FxVolume);
    HWND volume = slider;
    Open(FxPitch);
    DragTo(30);
    Release();
    EXPECT_EQ(ParameterTable.value[SliderPitch], 2);
    EXPECT_EQ(SliderStates[SliderPitch].thumbTop, 17);
    EXPECT_EQ(SliderStates[SliderVolume].thumbTop, 0);
    EXPECT_EQ(ParameterTable.value[SliderVolume], 8);
    EXPECT_NE(volume, slider);
}

TEST_F(SliderTest, ASliderOutsideTheParameterRowsIsInert)
{
    HWND host = PlainWindow();
    for (int badId : {0, 5, 8, 1000}) {
        HWND odd = CreateWindowExA(0, "Slider", nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 10, 45, host,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(badId)), Instance(), nullptr);
        ASSERT_NE(odd, nullptr);
        SendMessageA(odd, WM_MOUSEMOVE, MK_LBUTTON, At(5, 4));
        SendMessageA(odd, WM_LBUTTONUP, 0, At(5, 4));
        EXPECT_EQ(GetCapture(), nullptr);
        EXPECT_EQ(SliderDragActive, 0);
    }
}

TEST_F(SliderTest, EveryMessageRequestsAResync)
{
    PlayWriteCursor = 4242;
    Open(FxVolume);
    const UINT messages[] = {WM_PAINT, WM_MOUSEMOVE, WM_LBUTTONUP, WM_LBUTTONDOWN, WM_NULL,
                             WM_SETCURSOR, WM_TIMER, WM_USER + 7, WM_ERASEBKGND};
    for (UINT msg : messages) {
        PlayWriteCursor = 4242;
        SendMessageA(slider, msg, 0, 0);
        EXPECT_EQ(PlayWriteCursor, ResyncRequest) << "message " << msg;
    }
    HWND host = PlainWindow();
    PlayWriteCursor = 4242;
    HWND lone = CreateWindowExA(0, "Slider", nullptr, WS_CHILD, 0, 0, 10, 45, host,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(SliderPitch)), Instance(), nullptr);
    EXPECT_EQ(PlayWriteCursor, ResyncRequest);  // its creation
    PlayWriteCursor = 4242;
    DestroyWindow(lone);
    EXPECT_EQ(PlayWriteCursor, ResyncRequest);
}

TEST_F(SliderTest, PaintsTheTrackAndTheThumbAtItsPlace)
{
    DeleteObject(SharedSkin.sliderTrack);
    DeleteObject(SharedSkin.sliderThumb);
    SharedSkin.sliderTrack = SolidBitmap(10, 45, RGB(0, 128, 0));
    SharedSkin.sliderThumb = SolidBitmap(10, 9, RGB(255, 255, 0));
    Open(FxPitch);
    DragTo(2);
    Release();  // value 1: the thumb's top row is hidden above the slider
    ASSERT_EQ(Thumb(), -1);
    const COLORREF track = RGB(0, 128, 0), thumb = RGB(255, 255, 0);
    EXPECT_EQ(PixelAt(slider, 0, 0), thumb);
    EXPECT_EQ(PixelAt(slider, 9, 7), thumb);
    EXPECT_EQ(PixelAt(slider, 9, 8), track);
    EXPECT_EQ(PixelAt(slider, 0, 44), track);
    DragTo(36);
    EXPECT_EQ(PixelAt(slider, 5, 35), track);
    EXPECT_EQ(PixelAt(slider, 5, 36), thumb);
    EXPECT_EQ(PixelAt(slider, 5, 44), thumb);
    Release();
}

}  // namespace
