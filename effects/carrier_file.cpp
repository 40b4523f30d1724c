#include "carrier_file.h"
#include <cstddef>
#include <cstdlib>
#include "carrier.h"
#include "carrier_check.h"

OPENFILENAMEA OpenFileRequest;
char CarrierFileName[256];

// The record's first version is what the dialog is given.
static_assert(offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR) ==
              (sizeof(void*) == 4 ? 76 : 136));

void PrepareOpenFileRequest(HWND mainWindow)
{
    OpenFileRequest = {};
    OpenFileRequest.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    OpenFileRequest.hwndOwner = mainWindow;
    OpenFileRequest.lpstrFilter = "Wave (*.wav)\0*.wav\0";
    OpenFileRequest.lpstrFile = CarrierFileName;
    OpenFileRequest.nMaxFile = sizeof CarrierFileName;
    OpenFileRequest.Flags = OFN_FILEMUSTEXIST;
    OpenFileRequest.lpstrDefExt = "wav";
}

// The whole file goes into one block, which becomes the carrier block as it
// is: its first 44 bytes are the header. The checks only ever see the bytes
// the read delivered. A refusal frees the block first and then shows its
// message while the file is still open; the carrier stays as it was.
void LoadCarrierFile(HWND owner, const char* path, const int16_t** samples, uint32_t* length)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        MessageBoxA(owner, CarrierMessage(CarrierCannotOpen), "Voxotrope", MB_ICONERROR);
        return;
    }
    CarrierVerdict verdict = CarrierCannotRead;
    DWORD size = GetFileSize(file, nullptr);
    if (size != INVALID_FILE_SIZE || GetLastError() == NO_ERROR) {
        // At least one byte, so that a null answer for an empty file still
        // means that memory ran out.
        uint8_t* block = static_cast<uint8_t*>(AllocateCarrierBlock(size ? size : 1));
        DWORD count = 0;
        if (!block)
            verdict = CarrierNoMemory;
        else if (!ReadFile(file, block, size, &count, nullptr))
            free(block);
        else
            verdict = AdoptCarrierBlock(block, count, samples, length);
    }
    if (verdict != CarrierAccepted)
        MessageBoxA(owner, CarrierMessage(verdict), "Voxotrope", MB_ICONERROR);
    CloseHandle(file);
}
