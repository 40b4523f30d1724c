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

// Wake for any input, as Windows 7 counts it. The headers' QS_ALLINPUT adds
// the touch and pointer bits of later versions, and Windows 7 fails every
// wait that asks for them.
constexpr DWORD LoopWakeMask = 0xFF;
