#include <gtest/gtest.h>
#include <deque>
#include "stall_watch.h"

namespace {

// The device and the loop, ms by ms from the Transport's start: capture
// delivers 441 bytes every 10 ms from `begins` until `dies`, with a
// notification at each half, delivered at the next multiple of `bunch` ms (a
// busy machine, a driver that bunches them). The loop checks every 200 ms and
// handles the notifications due, but does nothing while it is held (a modal
// loop of the system, a starved thread) from `heldFrom` to `heldTo`.
struct Timeline {
    const char* name;
    DWORD begins, dies, heldFrom, heldTo, bunch;
    DWORD stallFrom, stallBy;  // the first stall lies in this window; 0, 0: none in 80 s
    DWORD wakes;               // the device is quiet from heldFrom until then (the machine slept)
};

// The first stall lies in from..by; by 0: there is none.
void ExpectStall(DWORD stall, DWORD from, DWORD by, const char* name)
{
    if (by == 0) {
        EXPECT_EQ(stall, 0u) << name;
    } else {
        EXPECT_GE(stall, from) << name;
        EXPECT_LE(stall, by) << name;
    }
}

DWORD FirstStall(const Timeline& line, DWORD origin)
{
    StallWatch watch = {};
    std::deque<DWORD> due;
    DWORD bytes = 0, lastCheck = 0;
    for (DWORD t = 1; t <= 80000; t++) {
        const bool asleep = t >= line.heldFrom && t < line.wakes;
        if (t >= line.begins && t < line.dies && !asleep && t % 10 == 0) {
            bytes += 441;
            if (bytes % 8000 < 441)
                due.push_back(line.bunch ? (t + line.bunch - 1) / line.bunch * line.bunch : t);
        }
        if (t >= line.heldFrom && t < line.heldTo)
            continue;
        for (; !due.empty() && due.front() <= t; due.pop_front())
            StallNotified(&watch, origin + t);
        if (t - lastCheck >= 200) {
            lastCheck = t;
            if (StallSeen(&watch, origin + t, bytes % 16000))
                return t;
        }
    }
    return 0;
}

const Timeline Timelines[] = {
    // Last notification at 2910: the first check a second after it.
    {"device gone", 0, 3000, 0, 0, 0, 3910, 4100, 0},
    {"busy machine", 0, ~0u, 3000, 3700, 400, 0, 0, 0},
    {"notifications bunched", 0, ~0u, 0, 0, 1300, 0, 0, 0},
    {"ten-second menu", 0, ~0u, 2000, 12000, 0, 0, 0, 0},
    // After a long gap the watch starts afresh: the silence counts from the
    // gap's end.
    {"device gone during a menu", 0, 5000, 2000, 12000, 0, 13000, 13300, 0},
    {"laptop asleep for a minute, device 0.8 s to wake", 0, ~0u, 2000, 62000, 0, 0, 0, 62800},
    {"device slow to begin", 1900, ~0u, 0, 0, 0, 0, 0, 0},
    {"device that never begins", 30000, ~0u, 0, 0, 0, 5000, 5200, 0},
};

TEST(StallWatch, SeesStoppedCaptureAndNothingElse)
{
    for (const Timeline& line : Timelines)
        for (DWORD origin : {0u, 0xFFFFF000u}) {  // and across the tick counter's wrap
            ExpectStall(FirstStall(line, origin), line.stallFrom, line.stallBy, line.name);
        }
    // After a long gap the ring may stand where it stood by chance.
    StallWatch watch = {};
    StallNotified(&watch, 0);
    EXPECT_FALSE(StallSeen(&watch, 100, 5000));
    EXPECT_FALSE(StallSeen(&watch, 10100, 5000));
}

// The output, ms by ms: its play cursor moves every 10 ms from `begins` until
// `dies`; capture notifies every 181 ms until `captureDies`; the loop checks
// after each notification and every 200 ms, but not while it is held, when
// the device sleeps too, until `wakes`. The buffer says it is `playing`, or
// says it is lost or stopped once its cursor stands.
struct OutputTimeline {
    const char* name;
    DWORD begins, dies, captureDies, heldFrom, heldTo, wakes;
    DWORD stallFrom, stallBy;  // the first stall lies in this window; 0, 0: none in 80 s
    bool playing;
};

DWORD FirstOutputStall(const OutputTimeline& line, DWORD origin)
{
    OutputWatch watch = {};
    DWORD position = 0, lastCheck = 0;
    for (DWORD t = 1; t <= 80000; t++) {
        const bool asleep = t >= line.heldFrom && t < line.wakes;
        if (t >= line.begins && t < line.dies && !asleep && t % 10 == 0)
            position = (position + 441) % 16000;
        if (t >= line.heldFrom && t < line.heldTo)
            continue;
        bool check = t - lastCheck >= 200;
        if (t < line.captureDies && !asleep && t % 181 == 0) {
            OutputNotified(&watch);
            check = true;
        }
        if (check) {
            lastCheck = t;
            if (OutputStallSeen(&watch, origin + t, position, line.playing))
                return t;
        }
    }
    return 0;
}

const OutputTimeline OutputTimelines[] = {
    {"headset unplugged", 0, 3000, ~0u, 0, 0, 0, 4000, 4300, false},
    {"sound server gone", 0, 3000, 3000, 0, 0, 0, 0, 0, false},  // the capture's watch tells
    {"machine too busy for a second and a half", 0, ~0u, ~0u, 3000, 4500, 4500, 0, 0, false},
    {"device slow to begin", 1900, ~0u, ~0u, 0, 0, 0, 0, 0, false},
    {"device that never begins", 30000, ~0u, ~0u, 0, 0, 0, 5000, 5300, false},
    {"laptop asleep for a minute, device 0.8 s to wake", 0, ~0u, ~0u, 2000, 62000, 62800, 0, 0, false},
    // After a gap the device gets the start's allowance again.
    {"laptop asleep for a minute, headset 1.5 s to wake", 0, ~0u, ~0u, 2000, 62000, 63500, 0, 0, false},
    {"headset unplugged during a starved second", 0, 5000, ~0u, 2000, 12000, 12000, 17000, 17300, false},
    // A buffer that says it plays on is waited for as long as a start.
    {"cursor stuck, buffer plays on", 0, 3000, ~0u, 0, 0, 0, 8000, 8300, true},
};

TEST(OutputWatch, SeesStoppedOutputAndNothingElse)
{
    for (const OutputTimeline& line : OutputTimelines)
        for (DWORD origin : {0u, 0xFFFFF000u}) {
            ExpectStall(FirstOutputStall(line, origin), line.stallFrom, line.stallBy, line.name);
        }
}

}  // namespace
