// The program with a trace of its block steps, for the streaming tests and
// measurements: VOXOTROPE_TRACE names the file. One line per step:
//   unix_us half capture_pos capture_read play write position anchor skipped late gap cut
// unix_us is the wall clock when the step ended (microseconds since 1970);
// capture_pos/capture_read are the CaptureRing's cursors then, play/write
// the PlaybackRing's cursors the step read, position where the block went,
// all in bytes; anchor is 1 when a message asked for the position to be set
// anew and it moved, 2 for a correction, 3 when a message asked and it
// stayed, else 0; skipped is 1 when the half was not played because the
// capture device was overwriting it; late is how far the capture device was
// past the half's notification, gap the silence an anchoring left before the block,
// cut the unplayed sound a correction wrote over, in bytes.
// VOXOTROPE_TRACE_BLOCKS names a second file that receives
// every block as it went into the ring (raw 16-bit mono). Everything else is
// the real program.
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include "app.h"
#include "audio_objects.h"
#include "chain.h"
#include "stream.h"

static FILE* Trace;
static FILE* Blocks;

static long long UnixMicroseconds()
{
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    const long long ticks = (static_cast<long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return ticks / 10 - 11644473600000000LL;  // 100-ns ticks since 1601 to us since 1970
}

static void WriteStep(const BlockStepRecord& step)
{
    const long long when = UnixMicroseconds();
    DWORD capture = 0, read = 0;
    Audio.CaptureRing->GetCurrentPosition(&capture, &read);
    fprintf(Trace, "%lld %d %lu %lu %lu %lu %u %d %d %lu %lu %lu\n", when, step.half, capture, read,
            step.playCursor, step.writeCursor, step.position, static_cast<int>(step.anchor), step.samples ? 0 : 1,
            step.late, step.gap, step.cut);
    fflush(Trace);  // the program may be killed at any moment
    if (Blocks && step.samples) {
        fwrite(step.samples, 2, AudioBlockSamples, Blocks);
        fflush(Blocks);
    }
}

// Opens a file named by a Windows path or, under Wine, by a Unix one (drive
// Z: is the Unix root there).
static FILE* OpenFile(const char* path, const char* mode)
{
    if (path[0] != '/')
        return fopen(path, mode);
    char windowsPath[MAX_PATH];
    snprintf(windowsPath, sizeof windowsPath, "Z:%s", path);
    return fopen(windowsPath, mode);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    const char* path = getenv("VOXOTROPE_TRACE");
    if (path && (Trace = OpenFile(path, "w"))) {
        fprintf(Trace, "unix_us half capture_pos capture_read play write position anchor skipped late gap cut\n");
        BlockStepTrace = WriteStep;
        const char* blocks = getenv("VOXOTROPE_TRACE_BLOCKS");
        if (blocks)
            Blocks = OpenFile(blocks, "wb");
    }
    return VoxotropeMain(instance, nullptr, SkipProgramName(GetCommandLineA()), SW_SHOWNORMAL);
}
