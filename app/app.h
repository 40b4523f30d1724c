// Start-up, the one event loop, and the main window.
#pragma once
#include <windows.h>

// Set by the main window's destruction; ends the loop.
extern int QuitFlag;

// The program name at the start of a command line skipped: a quoted name up
// to its closing quote or an unquoted one up to the first blank, then blanks.
LPSTR SkipProgramName(LPSTR commandLine);

// Registers the ten window classes, creates the main window and runs the
// loop. Always returns 0.
int VoxotropeMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show);

void RegisterWindowClasses(HINSTANCE instance);

// Waits for the capture events and for messages at once; runs a block step
// per event and dispatches messages between blocks, until QuitFlag. A wait
// that the system refuses for good ends the program with this message.
int RunEventLoop();
extern const char* const WaitFailedMessage;
