// Process entry: whatever follows the program name is ignored, and the main
// window always opens normally.
#include "app.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    return VoxotropeMain(instance, nullptr, SkipProgramName(GetCommandLineA()), SW_SHOWNORMAL);
}
