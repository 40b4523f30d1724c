// voxotrope-live's terminal: keys one by one without echo while it runs in
// the foreground, and the terminal's own settings back however it ends.
#pragma once

// Drops the escape sequences a terminal sends for Home, F5, the arrows or
// Alt and a key, so that their digits and letters change nothing.
struct KeyFilter {
    int state;  // 0 between keys, else inside a sequence
};
// True when `byte` is a key of its own rather than part of a sequence.
bool PlainKey(KeyFilter* filter, unsigned char byte);

// True when `fd` is a terminal whose foreground this process is in.
bool InForeground(int fd);
// Sets the terminal on `fd` to keys without Enter and without echo (signals
// still work), if this process is in its foreground: a background process
// that set it would be stopped. The settings found the first time come back
// with ReleaseTerminal, or before SIGQUIT or a crash ends the process.
bool TakeTerminal(int fd);
// Gives the terminal its settings back; in the background there is nothing
// to give back, as the shell has set its own.
void ReleaseTerminal();
