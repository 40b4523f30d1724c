#include "live_terminal.h"
#include <termios.h>
#include <unistd.h>
#include <csignal>

enum { BetweenKeys, AfterEscape, InControl, ControlStart, LastByte };

// ESC [ parameters final, ESC O final (and the Linux console's ESC [ [ A),
// ESC and one key for Alt: the parameters and intermediates are 0x20 to
// 0x3F, a final byte 0x40 to 0x7E.
bool PlainKey(KeyFilter* filter, unsigned char byte)
{
    switch (filter->state) {
    case BetweenKeys:
        if (byte != 0x1B)
            return true;
        filter->state = AfterEscape;
        return false;
    case AfterEscape:
        filter->state = byte == '[' ? ControlStart : byte == 'O' ? LastByte : byte == 0x1B ? AfterEscape : BetweenKeys;
        return false;
    case ControlStart:
        if (byte == '[') {
            filter->state = LastByte;
            return false;
        }
        [[fallthrough]];
    case InControl:
        filter->state = byte >= 0x20 && byte <= 0x3F ? InControl : BetweenKeys;
        return false;
    default:
        filter->state = BetweenKeys;
        return false;
    }
}

namespace {

constexpr int FatalSignals[] = {SIGQUIT, SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr int FatalCount = sizeof FatalSignals / sizeof FatalSignals[0];

struct TerminalState {
    int fd = -1;
    termios found;                 // the settings to give back
    volatile sig_atomic_t held;    // ours are in force
    struct sigaction previous[FatalCount];
};
TerminalState Terminal;

}  // namespace

// tcsetattr may be called in a handler. Then the signal does what it did
// before: a fault comes again as the instruction runs again; a signal that
// was sent (kill, abort, Ctrl-\) is sent once more.
static void GiveBackAndEnd(int signal, siginfo_t* info, void*)
{
    if (Terminal.held) {
        tcsetattr(Terminal.fd, TCSANOW, &Terminal.found);
        Terminal.held = 0;
    }
    for (int i = 0; i < FatalCount; i++)
        if (FatalSignals[i] == signal)
            sigaction(signal, &Terminal.previous[i], nullptr);
    bool fault = signal != SIGQUIT && signal != SIGABRT && info->si_code > 0 && info->si_code != SI_KERNEL;
    if (!fault)
        raise(signal);
}

bool InForeground(int fd)
{
    return isatty(fd) && tcgetpgrp(fd) == getpgrp();
}

bool TakeTerminal(int fd)
{
    if (!InForeground(fd))
        return false;
    if (Terminal.fd < 0) {
        if (tcgetattr(fd, &Terminal.found) != 0)
            return false;
        Terminal.fd = fd;
        struct sigaction action = {};
        action.sa_sigaction = GiveBackAndEnd;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        for (int i = 0; i < FatalCount; i++)
            sigaction(FatalSignals[i], &action, &Terminal.previous[i]);
    }
    termios keys = Terminal.found;
    keys.c_lflag &= ~(ICANON | ECHO);
    keys.c_cc[VMIN] = 1;
    keys.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &keys) != 0)
        return false;
    Terminal.held = 1;
    return true;
}

void ReleaseTerminal()
{
    if (Terminal.held && InForeground(Terminal.fd))
        tcsetattr(Terminal.fd, TCSANOW, &Terminal.found);
    Terminal.held = 0;
}
