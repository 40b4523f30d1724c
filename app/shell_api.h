// The window-system calls whose failures the program must survive, reached
// through one table so that tests can stand in for a system that refuses or
// fails them.
#pragma once
#include <windows.h>

struct ShellEntryPoints {
    DWORD(WINAPI* wait)(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds, DWORD wakeMask);
    BOOL(WINAPI* cursorPos)(LPPOINT point);
};

extern ShellEntryPoints ShellApi;

// The loop wakes for any input. From Windows 8 on that includes touch and pen
// (QS_TOUCH 0x800, QS_POINTER 0x1000), without which a tap waits for the next
// mouse or key event; Windows 7 fails every wait that asks for those bits, so
// the loop falls back to the older mask where the full one is refused.
constexpr DWORD FullWakeMask = 0x1CFF;
constexpr DWORD LoopWakeMask = 0xFF;
