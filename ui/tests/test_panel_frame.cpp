// The frame shared by the panels: drag-to-move by mouse moves with exactly
// the left button, painting and erasing. Driven on a Triangle panel.
#include "ui_support.h"
#include "main_window.h"
#include "panel.h"
#include "stream.h"

namespace {

struct FrameTest : UiTest {
    HWND panel = nullptr;

    void SetUp() override
    {
        UiTest::SetUp();
        panel = OpenPanel(FxTriangle, 200, 200);
    }
    void Move(int x, int y, WPARAM keys = MK_LBUTTON) { SendMessageA(panel, WM_MOUSEMOVE, keys, At(x, y)); }
    POINT Corner() const
    {
        RECT rect = WindowRect(panel);
        return POINT{rect.left, rect.top};
    }
};

#define EXPECT_CORNER(left, top)         \
    do {                                 \
        POINT corner_ = Corner();        \
        EXPECT_EQ(corner_.x, (left));    \
        EXPECT_EQ(corner_.y, (top));     \
    } while (0)

TEST_F(FrameTest, FirstMoveWithTheLeftButtonTakesTheCaptureAndDoesNotMove)
{
    Move(30, 40);
    EXPECT_EQ(GetCapture(), panel);
    EXPECT_CORNER(200, 200);
    RECT rect = WindowRect(panel);
    EXPECT_EQ(rect.right - rect.left, 150);
    EXPECT_EQ(rect.bottom - rect.top, 100);
}

TEST_F(FrameTest, TheGrabOffsetStaysTheSameForTheWholeDrag)
{
    Move(30, 40);  // cursor at (230, 240): offset (30, 40)
    Move(35, 50);  // cursor (235, 250)
    EXPECT_CORNER(205, 210);
    Move(40, 35);  // client of the moved window: cursor (245, 245)
    EXPECT_CORNER(215, 205);
    Move(30, 40);  // back at the grab point of the window
    EXPECT_CORNER(215, 205);
    EXPECT_EQ(GetCapture(), panel);
}

TEST_F(FrameTest, NegativeClientCoordinatesStillPlaceTheWindow)
{
    Move(30, 40);
    Move(-50, -60);  // cursor (150, 140), left of and above the window
    EXPECT_CORNER(120, 100);
    Move(-200, 10);  // cursor (-80, 110)
    EXPECT_CORNER(-110, 70);
}

TEST_F(FrameTest, ShiftDuringADragEndsItWithoutMoving)
{
    Move(30, 40);
    Move(40, 40);
    EXPECT_CORNER(210, 200);
    Move(80, 90, MK_LBUTTON | MK_SHIFT);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_CORNER(210, 200);
    Move(90, 90, MK_LBUTTON | MK_RBUTTON);  // another button: still idle, no move
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_CORNER(210, 200);
}

TEST_F(FrameTest, ReleasingTheButtonEndsTheDragOnlyAtTheNextMove)
{
    Move(30, 40);
    Move(40, 45);
    EXPECT_CORNER(210, 205);
    SendMessageA(panel, WM_LBUTTONUP, 0, At(30, 40));
    EXPECT_EQ(GetCapture(), panel);
    Move(70, 70, 0);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_CORNER(210, 205);
}

TEST_F(FrameTest, PressAndReleaseWithoutMoveNeitherMovesNorCaptures)
{
    SendMessageA(panel, WM_LBUTTONDOWN, MK_LBUTTON, At(30, 40));
    SendMessageA(panel, WM_LBUTTONUP, 0, At(30, 40));
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_CORNER(200, 200);
}

TEST_F(FrameTest, ANewDragTakesANewGrabOffset)
{
    Move(30, 40);
    Move(40, 40);
    Move(0, 0, 0);
    EXPECT_CORNER(210, 200);
    Move(100, 10);  // cursor (310, 210): offset (100, 10)
    EXPECT_CORNER(210, 200);
    Move(110, 20);
    EXPECT_CORNER(220, 210);
}

TEST_F(FrameTest, AMoveToWhereTheWindowWasLastMovedDoesNothing)
{
    Move(30, 40);
    Move(40, 40);  // moved for the cursor at (240, 240)
    EXPECT_CORNER(210, 200);
    SetWindowPos(panel, nullptr, 300, 300, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    Move(-60, -60);  // the cursor at (240, 240) again
    EXPECT_CORNER(300, 300);
    Move(-59, -60);
    EXPECT_CORNER(211, 200);
}

// Regression: a panel closed after the button's release but before the next
// move (Alt+F4) left its class dragging, and the next panel of the class
// jumped at its first move and was dragged without the capture.
TEST_F(FrameTest, ANewPanelStartsIdleAfterOneClosedMidDrag)
{
    Move(30, 40);
    Move(40, 45);
    SendMessageA(panel, WM_LBUTTONUP, 0, At(40, 45));
    DestroyWindow(panel);
    panel = OpenPanel(FxTriangle, 200, 200);
    Move(80, 60);
    EXPECT_CORNER(200, 200);
    EXPECT_EQ(GetCapture(), panel);
    Move(90, 70);  // and the new drag keeps its own grab offset
    EXPECT_CORNER(210, 210);
}

TEST_F(FrameTest, EraseReturnsOneAndDrawsNothing)
{
    HDC screen = GetDC(panel);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP canvas = SolidBitmap(4, 4, RGB(1, 2, 3));
    HGDIOBJ previous = SelectObject(memory, canvas);
    EXPECT_EQ(SendMessageA(panel, WM_ERASEBKGND, reinterpret_cast<WPARAM>(memory), 0), 1);
    EXPECT_EQ(GetPixel(memory, 1, 1), RGB(1, 2, 3));
    SelectObject(memory, previous);
    DeleteObject(canvas);
    DeleteDC(memory);
    ReleaseDC(panel, screen);
}

TEST_F(FrameTest, PaintsTheBackgroundAndTheLabelBottomRight)
{
    const COLORREF plate = RGB(200, 0, 0), name = RGB(0, 0, 200);
    DeleteObject(SharedSkin.panelBackground);
    SharedSkin.panelBackground = SolidBitmap(150, 100, plate);
    DeleteObject(Panels[FxTriangle].label);
    Panels[FxTriangle].label = SolidBitmap(50, 20, name);  // the panel deletes it
    InvalidateRect(panel, nullptr, FALSE);
    EXPECT_EQ(PixelAt(panel, 0, 99), plate);
    EXPECT_EQ(PixelAt(panel, 95, 77), plate);
    EXPECT_EQ(PixelAt(panel, 96, 76), plate);
    EXPECT_EQ(PixelAt(panel, 96, 77), name);
    EXPECT_EQ(PixelAt(panel, 145, 96), name);
    EXPECT_EQ(PixelAt(panel, 146, 96), plate);
    EXPECT_EQ(PixelAt(panel, 145, 97), plate);
    EXPECT_EQ(PixelAt(panel, 149, 99), plate);
}

}  // namespace
