#!/usr/bin/env python3
"""voxotrope-live on a terminal of its own (a pseudo-terminal): started in
the background it keeps running and leaves the terminal alone (no SIGTTOU
stop); in the foreground it takes the terminal (no echo), gives it back when
SIGQUIT or a crash signal ends it, and ends with 0 when the terminal closes.

  live_terminal.py VOXOTROPE-LIVE     (a sound server must be running)"""
import os
import resource
import select
import signal
import sys
import termios
import time

live = sys.argv[1]
failures = 0


def check(text, good):
    global failures
    print(("ok: " if good else "FAIL: ") + text)
    failures += not good


def echoing(fd):
    return bool(termios.tcgetattr(fd)[3] & termios.ECHO)


def start(background):
    """The program on a new terminal, as a shell's job; the master's fd and
    the job's pid (the shell stays in the foreground when `background`)."""
    master, slave = os.openpty()
    shell = os.fork()
    if shell == 0:
        os.setsid()
        os.close(master)
        import fcntl
        fcntl.ioctl(slave, termios.TIOCSCTTY, 0)
        resource.setrlimit(resource.RLIMIT_CORE, (0, 0))
        job = os.fork() if background else 0
        if job == 0:
            if background:
                os.setpgid(0, 0)
            for fd in range(3):
                os.dup2(slave, fd)
            os.execv(live, [live])
        _, status = os.waitpid(job, 0)
        os._exit(os.waitstatus_to_exitcode(status) & 0xFF)
    return master, slave, shell


def read_until(master, text, seconds=10):
    seen, end = b"", time.monotonic() + seconds
    while text not in seen and time.monotonic() < end:
        if select.select([master], [], [], 0.1)[0]:
            try:
                seen += os.read(master, 4096)
            except OSError:
                break
    return text in seen


def wait(pid, seconds=10):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        done, status = os.waitpid(pid, os.WNOHANG)
        if done:
            return status
        time.sleep(0.05)
    os.kill(pid, signal.SIGKILL)
    return os.waitpid(pid, 0)[1]


# In the background: the shell's child keeps running, the terminal echoes.
master, slave, shell = start(background=True)
time.sleep(2)
job = int(open(f"/proc/{shell}/task/{shell}/children").read().split()[0])
state = open(f"/proc/{job}/stat").read().rsplit(")", 1)[1].split()[0]
check("started in the background it runs (state %s) and leaves the echo on" % state,
      state != "T" and echoing(slave))
os.kill(job, signal.SIGTERM)
check("in the background SIGTERM ends it with 0", os.waitstatus_to_exitcode(wait(shell)) == 0)
os.close(master)

for sig in (signal.SIGQUIT, signal.SIGSEGV, None):
    master, slave, pid = start(background=False)
    taken = read_until(master, b"fx none") and not echoing(slave)
    if sig:
        os.kill(pid, sig)
        wait(pid)
        check("%s: the terminal is taken, then given back" % sig.name, taken and echoing(slave))
    else:
        os.close(master)  # the terminal closes: SIGHUP
        status = os.waitstatus_to_exitcode(wait(pid))
        check("a closed terminal ends it with 0 (status %d)" % status, taken and status == 0)
    os.close(slave)
sys.exit(1 if failures else 0)
