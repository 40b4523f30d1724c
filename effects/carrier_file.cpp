#include "carrier_file.h"
#include <cstddef>

OPENFILENAMEA OpenFileRequest;
char CarrierFileName[256];

// The record's first version is what the dialog is given.
static_assert(offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR) ==
              (sizeof(void*) == 4 ? 76 : 136));

void PrepareOpenFileRequest(HWND mainWindow)
{
    OpenFileRequest.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    OpenFileRequest.hwndOwner = mainWindow;
    OpenFileRequest.lpstrFilter = "Wave (*.wav)\0*.wav\0";
    OpenFileRequest.lpstrFile = CarrierFileName;
    OpenFileRequest.nMaxFile = sizeof CarrierFileName;
    OpenFileRequest.Flags = OFN_FILEMUSTEXIST;
    OpenFileRequest.lpstrDefExt = "wav";
}

void LoadCarrierFile(HWND, const char*, const int16_t**, uint32_t*)
{
    // Not yet: files are not loaded.
}
