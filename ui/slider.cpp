#include "slider.h"
#include "main_window.h"
#include "skin_paint.h"
#include "slider_rules.h"
#include "stream.h"
#include "windows_ui.h"

SliderState SliderStates[ParameterRows];
int SliderDragActive;
// The slider whose thumb is being dragged, while SliderDragActive is 1.
static HWND DragSlider;

constexpr int32_t SliderWidth = 10;

static void SliderRepaint(HWND window)
{
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
}

static void SliderPaint(HWND window, const SliderState& slider)
{
    PAINTSTRUCT paint;
    HDC screen = BeginPaint(window, &paint);
    HDC memory = CreateCompatibleDC(screen);
    CopyBitmap(screen, memory, SharedSkin.sliderTrack, 0, 0, SliderWidth, TrackHeight);
    CopyBitmap(screen, memory, SharedSkin.sliderThumb, 0, slider.thumbTop, SliderWidth, ThumbHeight);
    DeleteDC(memory);
    EndPaint(window, &paint);
}

static void SliderMouseMove(HWND window, SliderState* slider, WPARAM wParam, LPARAM lParam)
{
    if (wParam != MK_LBUTTON)
        return;  // neither moves the thumb nor ends a drag
    int32_t y = static_cast<short>(HIWORD(lParam));
    if (ThumbGrabbed(slider->thumbTop, y) && !SliderDragActive) {
        SetCapture(window);
        SliderDragActive = 1;
        DragSlider = window;
        slider->anchorY = y;
    } else if (SliderDragActive) {
        slider->thumbTop = ThumbDragged(slider->thumbTop, slider->anchorY, y);
        slider->anchorY = y;
        SliderRepaint(window);
    }
}

static void SliderRelease(HWND window, int id, SliderState* slider)
{
    if (!SliderDragActive)
        return;
    ThumbSnap snap = ThumbReleased(slider->thumbTop, ParameterTable.minimum[id], ParameterTable.scale[id]);
    ParameterTable.value[id] = snap.value;
    slider->thumbTop = snap.thumbTop;
    SliderDragActive = 0;
    DragSlider = nullptr;
    ReleaseCapture();
    SliderRepaint(window);
}

// A slider destroyed during its thumb drag (its panel closed with Alt+F4)
// never sees the release: the drag ends with it and writes no value. Another
// slider's drag goes on.
static void SliderDestroyed(HWND window)
{
    if (SliderDragActive && DragSlider == window) {
        SliderDragActive = 0;
        DragSlider = nullptr;
    }
}

LRESULT CALLBACK SliderProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    PlayWriteCursor = ResyncRequest;
    int id = GetWindowLongA(window, GWL_ID);
    if (id <= 0 || id >= ParameterRows || ParameterTable.scale[id] == 0)
        return DefWindowProcA(window, msg, wParam, lParam);  // not a row a slider can edit
    SliderState* slider = &SliderStates[id];
    switch (msg) {
    case WM_CREATE:
        slider->thumbTop = ThumbTopForValue(ParameterTable.value[id], ParameterTable.minimum[id],
                                            ParameterTable.scale[id]);
        SliderRepaint(window);
        return 0;
    case WM_PAINT:
        SliderPaint(window, *slider);
        return 0;
    case WM_MOUSEMOVE:
        SliderMouseMove(window, slider, wParam, lParam);
        return 0;
    case WM_LBUTTONUP:
        SliderRelease(window, id, slider);
        return 0;
    case WM_DESTROY:
        SliderDestroyed(window);
        return 0;
    }
    return DefWindowProcA(window, msg, wParam, lParam);
}
