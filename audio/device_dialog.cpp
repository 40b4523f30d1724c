#include "device_dialog.h"
#include "resource.h"
#include "sound_api.h"

const GUID* ChosenDevice;

// Lists one output: its description as the text, a private copy of its GUID
// (null for the default entry) as the item data. The copies are never freed:
// the chosen one must outlive the dialog.
static BOOL CALLBACK AddDevice(LPGUID guid, LPCSTR description, LPCSTR, LPVOID context)
{
    GUID* copy = nullptr;
    if (guid) {
        copy = static_cast<GUID*>(LocalAlloc(LMEM_ZEROINIT, sizeof(GUID)));
        if (!copy)
            return FALSE;
        *copy = *guid;
    }
    HWND list = GetDlgItem(static_cast<HWND>(context), IDC_DEVICELIST);
    LRESULT index = SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(description));
    SendMessageA(list, LB_SETITEMDATA, index, reinterpret_cast<LPARAM>(copy));
    return TRUE;
}

// With one or two entries (the default and at most one device) there is
// nothing to choose and the dialog never shows.
static INT_PTR DeviceDialogInit(HWND dialog)
{
    SoundApi.enumerate(AddDevice, dialog);
    HWND list = GetDlgItem(dialog, IDC_DEVICELIST);
    LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    if (count <= 0) {
        EndDialog(dialog, 0);
        return FALSE;
    }
    if (count <= 2) {
        ChosenDevice = nullptr;
        EndDialog(dialog, 1);
        return FALSE;
    }
    SendMessageA(list, LB_SETCURSEL, 0, 0);
    return TRUE;
}

static void DeviceDialogChoose(HWND dialog)
{
    HWND list = GetDlgItem(dialog, IDC_DEVICELIST);
    LRESULT selected = SendMessageA(list, LB_GETCURSEL, 0, 0);
    LRESULT data = SendMessageA(list, LB_GETITEMDATA, selected, 0);
    // No selection answers LB_ERR, which is no GUID: take the default output.
    ChosenDevice = data == LB_ERR ? nullptr : reinterpret_cast<const GUID*>(data);
    EndDialog(dialog, 1);
}

static INT_PTR CALLBACK DeviceDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM)
{
    switch (msg) {
    case WM_INITDIALOG:
        return DeviceDialogInit(dialog);
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            DeviceDialogChoose(dialog);
            break;
        case IDCANCEL:
            EndDialog(dialog, 0);
            break;
        }
        return FALSE;
    }
    return FALSE;
}

INT_PTR RunDeviceDialog(HWND owner)
{
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(owner, GWLP_HINSTANCE));
    return DialogBoxParamA(instance, "ENUMDLG", owner, DeviceDialogProc, 0);
}
