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
// mouse or key event; Windows 7 refuses a wait that asks for those bits
// (ERROR_INVALID_PARAMETER), so there the loop asks for every bit that
// Windows 7 knows, raw input (QS_RAWINPUT 0x400) among them.
constexpr DWORD FullWakeMask = 0x1CFF;
constexpr DWORD Windows7WakeMask = 0x4FF;
