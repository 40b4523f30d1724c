// AM: the open button that loads a WAV file as the modulating wave. The panel
// owns the carrier: the default one from its creation, any loaded one until
// its destruction.
#include "panel_am.h"
#include "carrier.h"
#include "carrier_file.h"
#include "panel.h"
#include "resource.h"
#include "stream.h"

AMCarrierOps AMCarrier = {CreateDefaultCarrier, ReleaseCarrier, LoadCarrierFile};

constexpr int OpenButtonX = 30;
constexpr int OpenButtonY = 40;
constexpr int OpenButtonSize = 20;

// Returns -1 when the default carrier cannot be made: the effect must not run
// without a carrier, so the panel does not open.
static LRESULT AMCreate(HWND window, const CREATESTRUCTA* creation)
{
    PanelState* panel = PanelBegin(FxAM, creation);
    if (!AMCarrier.createDefault()) {
        EffectFlags[FxAM] = 0;
        return -1;
    }
    PanelLoadLabel(FxAM);
    panel->openImage = LoadBitmapA(panel->instance, "OPENBMP");
    panel->control = CreateWindowExA(0, "BUTTON", nullptr, WS_CHILD | WS_VISIBLE | BS_BITMAP, OpenButtonX,
                                     OpenButtonY, OpenButtonSize, OpenButtonSize, window,
                                     reinterpret_cast<HMENU>(IDC_LOADWAVE), panel->instance, nullptr);
    SendMessageA(panel->control, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(panel->openImage));
    CreateCloseButton(window, panel->instance);
    AttachTip(&panel->tip, window, panel->instance, panel->control, "load wave");
    return 0;
}

static void AMDestroy()
{
    AMCarrier.release();  // first: it marks the carrier absent
    PanelRelease(FxAM);
}

// Set while the open-file dialog is up. The panel stays usable meanwhile, and
// a second press of its button would stack a second dialog on the same
// request; instead the one that is up comes to the front.
static bool LoadDialogShown;

static void BringLoadDialogForward()
{
    HWND owner = OpenFileRequest.hwndOwner;
    HWND dialog = owner ? GetLastActivePopup(owner) : nullptr;
    if (dialog && dialog != owner)
        SetForegroundWindow(dialog);
}

static void AMLoadCommand(HWND window)
{
    if (LoadDialogShown) {
        BringLoadDialogForward();
        return;
    }
    LoadDialogShown = true;
    BOOL chosen = GetOpenFileNameA(&OpenFileRequest);
    LoadDialogShown = false;
    if (!chosen)
        return;  // cancelled: the carrier goes on from where it is
    // The dialog disables only the main window, so the panel may have been
    // closed meanwhile: its carrier is released and the effect is off, and
    // the late choice is dropped.
    if (!IsWindow(window) || !EffectFlags[FxAM])
        return;
    AMCarrier.loadFile(window, CarrierFileName, &CarrierWave.samples, &CarrierWave.length);
    CarrierWave.readPosition = CarrierWave.samples;  // the new carrier, or the kept one, from its start
}

LRESULT CALLBACK AMPanelProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    PlayWriteCursor = ResyncRequest;
    switch (msg) {
    case WM_CREATE:
        return AMCreate(window, reinterpret_cast<const CREATESTRUCTA*>(lParam));
    case WM_DESTROY:
        AMDestroy();
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_LOADWAVE) {
            AMLoadCommand(window);
            return 0;
        }
        break;
    }
    return PanelFrameMessage(window, FxAM, msg, wParam, lParam);
}
