#include <gtest/gtest.h>
#include <cstring>
#include <random>
#include "audio_objects.h"
#include "chain.h"
#include "fake_rings.h"
#include "stream.h"

namespace {

int StepsCorrected;  // corrections counted through the trace hook

struct StreamTest : ::testing::Test {
    FakeCaptureRing capture;
    FakePlaybackRing playback;
    AudioBlock work[2];
    HWND button = nullptr;

    void SetUp() override
    {
        ResetChainState();
        WorkBuffers[0] = work[0];
        WorkBuffers[1] = work[1];
        Audio = AudioObjects{};
        Audio.CaptureRing = &capture;
        Audio.PlaybackRing = &playback;
        PendingError = nullptr;
        PlayWriteCursor = ResyncRequest;
        StreamReset();
        Transport = 0;
        for (size_t i = 0; i < capture.bytes.size(); i++)
            capture.bytes[i] = static_cast<uint8_t>(i * 7 + i / 256);
        button = CreateWindowExA(0, "BUTTON", "Start", 0, 0, 0, 40, 20, nullptr, nullptr, nullptr, nullptr);
    }
    void TearDown() override
    {
        DestroyWindow(button);
        Audio = AudioObjects{};
        PendingError = nullptr;
        WorkBuffers[0] = WorkBuffers[1] = nullptr;
        ResetChainState();
    }
    // The device's write cursor at `write`, its play cursor 440 bytes (10 ms)
    // before it, as under Wine.
    void DeviceAt(DWORD write)
    {
        playback.writeCursor = write % RingBytes;
        playback.playCursor = (write + RingBytes - 440) % RingBytes;
    }
    std::string ButtonText()
    {
        char text[16] = {};
        GetWindowTextA(button, text, sizeof text);
        return text;
    }
    // The ring's 8000 bytes from `offset` on, following the wrap.
    std::vector<uint8_t> PlayedAt(DWORD offset)
    {
        std::vector<uint8_t> out(HalfBytes);
        for (DWORD i = 0; i < HalfBytes; i++)
            out[i] = playback.bytes[(offset + i) % RingBytes];
        return out;
    }
    std::vector<uint8_t> CapturedHalf(int half)
    {
        return std::vector<uint8_t>(capture.bytes.begin() + half * HalfBytes,
                                    capture.bytes.begin() + (half + 1) * HalfBytes);
    }
};

TEST_F(StreamTest, FirstBlockIsAnchoredBeyondTheDeviceWriteCursor)
{
    DeviceAt(1000);
    ASSERT_TRUE(BlockStep(0));
    EXPECT_EQ(playback.lastLockOffset, 4998u);
    EXPECT_EQ(PlayedAt(4998), CapturedHalf(0));
    EXPECT_EQ(PlayWriteCursor, 12998u);
    // The next block lands right behind, wrapped into the ring.
    DeviceAt(9000);
    ASSERT_TRUE(BlockStep(1));
    EXPECT_EQ(playback.lastLockOffset, 12998u);
    EXPECT_EQ(PlayedAt(12998), CapturedHalf(1));
    EXPECT_EQ(PlayWriteCursor, 20998u);
    DeviceAt(1000);
    ASSERT_TRUE(BlockStep(0));
    EXPECT_EQ(playback.lastLockOffset, 4998u);
}

TEST_F(StreamTest, ResyncPastTheRingEndWraps)
{
    DeviceAt(14000);
    ASSERT_TRUE(BlockStep(0));
    EXPECT_EQ(playback.lastLockOffset, 1998u);  // 14000 + 3998 - 16000
    EXPECT_EQ(PlayedAt(1998), CapturedHalf(0));
}

TEST_F(StreamTest, BlockSplitAtTheRingEndLandsWholeAndInOrder)
{
    PlayWriteCursor = 11998;
    DeviceAt(8000);
    ASSERT_TRUE(BlockStep(1));
    EXPECT_EQ(playback.lastLengths[0], 4002u);
    EXPECT_EQ(playback.lastLengths[1], 3998u);
    std::vector<uint8_t> half = CapturedHalf(1);
    EXPECT_TRUE(std::equal(half.begin(), half.begin() + 4002, playback.bytes.begin() + 11998));
    EXPECT_TRUE(std::equal(half.begin() + 4002, half.end(), playback.bytes.begin()));
    // The rest of the ring is silent.
    EXPECT_TRUE(std::all_of(playback.bytes.begin() + 3998, playback.bytes.begin() + 11998,
                            [](uint8_t b) { return b == 0; }));
}

TEST_F(StreamTest, AlignedPositionsUseOneRegion)
{
    for (DWORD position : {0u, 8000u}) {
        PlayWriteCursor = position;
        DeviceAt(position + RingBytes - ResyncLead);
        ASSERT_TRUE(BlockStep(0));
        EXPECT_EQ(playback.lastLockOffset, position);
        EXPECT_EQ(playback.lastLengths[0], 8000u);
        EXPECT_EQ(playback.lastLengths[1], 0u);
        EXPECT_EQ(PlayedAt(position), CapturedHalf(0));
    }
}

TEST_F(StreamTest, EveryLockIsHandedBack)
{
    for (int i = 0; i < 5; i++)
        ASSERT_TRUE(BlockStep(i & 1));
    EXPECT_EQ(capture.locked, 0);
    EXPECT_EQ(playback.locked, 0);
}

TEST_F(StreamTest, StopThenStartTogglesTheButtonAndResynchronises)
{
    std::vector<std::string> calls;
    capture.calls = playback.calls = &calls;
    std::fill(playback.bytes.begin(), playback.bytes.end(), 0x55);  // left from an earlier run
    TransportToggle(button);
    EXPECT_EQ(ButtonText(), "Stop");
    EXPECT_TRUE(std::all_of(playback.bytes.begin(), playback.bytes.end(), [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(Transport, 1);
    PlayWriteCursor = 5000;
    TransportToggle(button);
    EXPECT_EQ(ButtonText(), "Start");
    EXPECT_EQ(Transport, 0);
    EXPECT_EQ(PlayWriteCursor, ResyncRequest);
    TransportToggle(button);
    EXPECT_EQ(ButtonText(), "Stop");
    std::vector<std::string> expected = {"PlaybackRing.Play", "CaptureRing.Start", "PlaybackRing.Stop",
                                         "CaptureRing.Stop", "PlaybackRing.Play", "CaptureRing.Start"};
    EXPECT_EQ(calls, expected);
    playback.writeCursor = 2;
    ASSERT_TRUE(BlockStep(0));
    EXPECT_EQ(playback.lastLockOffset, 4000u);
}

// A ring that fails during a step: another program holds the device, or the
// output device went away (a headset unplugged: its buffer is lost, the
// device invalidated, or the ring cannot tell its cursors any more).
struct FailedRing {
    const char* name;
    bool captureLock, playbackLock, playbackPosition;
    HRESULT result;  // of the failing playback lock
    const char* message;
};

void PrintTo(const FailedRing& ring, std::ostream* out) { *out << ring.name; }

const char* const CaptureLockMessage =
    "Unable to lock capture buffer! If you have other sound-applications running please close them and "
    "restart Voxotrope!";
const char* const PlaybackLockMessage =
    "Unable to lock playback buffer! If you have other sound-applications running please close them and "
    "restart Voxotrope!";

class StreamRingFailure : public StreamTest, public ::testing::WithParamInterface<FailedRing> {};

TEST_P(StreamRingFailure, StoresItsMessageDestroysTheMainWindowAndStops)
{
    const FailedRing ring = GetParam();
    Audio.mainWindow = CreateWindowExA(0, "STATIC", "main", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                       nullptr, nullptr);
    capture.failLock = ring.captureLock;
    playback.failLock = ring.playbackLock;
    playback.lockFailure = ring.result;
    playback.failPosition = ring.playbackPosition;
    EXPECT_FALSE(BlockStep(0));
    ASSERT_NE(PendingError, nullptr);
    EXPECT_STREQ(PendingError, ring.message);
    EXPECT_FALSE(IsWindow(Audio.mainWindow));
    // The captured half is handed back even when only the playback ring failed.
    EXPECT_EQ(capture.locked, 0);
    EXPECT_EQ(playback.locked, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rings, StreamRingFailure,
    ::testing::Values(FailedRing{"CaptureLock", true, false, false, DS_OK, CaptureLockMessage},
                      FailedRing{"PlaybackLock", false, true, false, DSERR_INVALIDPARAM, PlaybackLockMessage},
                      FailedRing{"PlaybackBufferLost", false, true, false, DSERR_BUFFERLOST, OutputStoppedMessage},
                      FailedRing{"PlaybackDeviceInvalidated", false, true, false,
                                 static_cast<HRESULT>(0x88890004), OutputStoppedMessage},
                      FailedRing{"PlaybackPosition", false, false, true, DS_OK, OutputStoppedMessage}),
    [](const ::testing::TestParamInfo<FailedRing>& info) { return std::string(info.param.name); });

// A ring that will not start is reported at Start, and the program ends.
TEST_F(StreamTest, RingThatWillNotStartIsReported)
{
    for (bool output : {true, false}) {
        Audio.mainWindow = CreateWindowExA(0, "STATIC", "main", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                           nullptr, nullptr);
        PendingError = nullptr;
        Transport = 0;
        playback.playResult = output ? DSERR_BUFFERLOST : DS_OK;
        capture.startResult = output ? DS_OK : DSERR_NODRIVER;
        TransportToggle(button);
        ASSERT_NE(PendingError, nullptr);
        EXPECT_EQ(std::string(PendingError).rfind(output ? "Unable to start sound output!"
                                                         : "Unable to start sound capture!", 0), 0u);
        EXPECT_FALSE(IsWindow(Audio.mainWindow));
    }
}

// Hundreds of steps with random device cursors, resync requests and jitter:
// each block's 8000 bytes land exactly where the rules put them. Under Wine's
// cursors (write cursor 440 bytes beyond the play cursor) a request keeps the
// position where it lies 3556 to 8000 bytes beyond the play cursor (no more
// than two 10-ms steps short of its anchored place, 4438, and the block ends
// before the play cursor comes round); further on the block would overwrite
// sound not yet played, and goes halfway back, 6219 beyond the play cursor;
// elsewhere (more than a quarter ring ahead reads as the device having
// played past it) it is anchored 3998 beyond the write cursor.
TEST_F(StreamTest, RandomCursorsAndResyncsPlaceEveryBlockExactly)
{
    std::mt19937 random(12345);
    EffectFlags[FxReverse] = 1;  // the chain's output differs from its input
    uint32_t expected = 0;
    int kept = 0, moved = 0;
    for (int step = 0; step < 600; step++) {
        int half = step & 1;
        for (size_t i = half * HalfBytes; i < (half + 1) * HalfBytes; i++)
            capture.bytes[i] = static_cast<uint8_t>(random());
        if (step == 0 || random() % 4 == 0) {
            DeviceAt(random() % RingBytes);
            PlayWriteCursor = ResyncRequest;
            const DWORD ahead = (expected + RingBytes - playback.playCursor) % RingBytes;
            if (step > 0 && ahead > 8000 && ahead <= 12000) {
                expected = (playback.playCursor + 6219) % RingBytes;
                moved++;
            } else if (step == 0 || ahead < 3556 || ahead > 12000) {
                expected = (playback.writeCursor + ResyncLead) % RingBytes;
                moved++;
            } else {
                kept++;
            }
        } else {
            DeviceAt(expected + RingBytes - ResyncLead + random() % 4000 - 2000);
        }
        ASSERT_TRUE(BlockStep(half));
        // Reverse of the captured samples, written from the expected place.
        const int16_t* in = reinterpret_cast<const int16_t*>(capture.bytes.data() + half * HalfBytes);
        std::vector<uint8_t> played = PlayedAt(expected);
        const int16_t* out = reinterpret_cast<const int16_t*>(played.data());
        for (int k = 0; k < AudioBlockSamples; k++)
            ASSERT_EQ(out[k], in[AudioBlockSamples - 1 - k]) << "step " << step << " sample " << k;
        expected = (expected + HalfBytes) % RingBytes;
    }
    EXPECT_GT(kept, 20);
    EXPECT_GT(moved, 20);
}

// Regression: a request silenced the ring from the device's write cursor on,
// which held the unplayed second half of the last block. The block of a
// step 34 ms late lands right behind the last one, which stays whole.
TEST_F(StreamTest, RequestKeepsTheLastBlocksUnplayedSound)
{
    DeviceAt(1000);
    ASSERT_TRUE(BlockStep(0));  // 4998..12998
    DeviceAt(10500);
    capture.captureCursor = 1500;
    PlayWriteCursor = ResyncRequest;
    ASSERT_TRUE(BlockStep(1));
    EXPECT_EQ(playback.lastLockOffset, 12998u);
    EXPECT_TRUE(std::equal(playback.bytes.begin() + 10060, playback.bytes.begin() + 12998,
                           capture.bytes.begin() + 10060 - 4998));
    EXPECT_EQ(PlayedAt(12998), CapturedHalf(1));
}

// Ten minutes of blocks against the devices people have, whose clocks may
// differ from the capture's, whose steps may come late, and whose windows
// may ask for a resync before any step. Cursors move in steps, the capture's
// too, and a device reads the ring at its write cursor, `lead` bytes ahead of
// what it plays. Nothing may be read twice (a stretch from the ring's
// previous pass); sound is cut before it was read only by a correction; and
// silence and cuts stay within what the clocks make necessary.
struct Clocks {
    const char* name;
    double playPerCapture;  // samples the device plays per captured sample
    DWORD lead, step;       // write cursor beyond the play cursor; cursor step (bytes)
    int jitter;             // each step comes up to this many samples late
    int lateEvery, late;    // and every lateEvery-th step `late` samples late
    int resyncEvery;        // a request before every step (1), one in four at random (4), or none (0)
    int minCorrections, maxCorrections;
    double maxSilentMs, maxCutMs;  // in ten minutes
};

void PrintTo(const Clocks& clocks, std::ostream* out) { *out << clocks.name; }

class StreamClocks : public StreamTest, public ::testing::WithParamInterface<Clocks> {};

TEST_P(StreamClocks, NoSoundPlaysTwiceOrIsLost)
{
    const Clocks clocks = GetParam();
    std::mt19937 random(7);
    for (size_t i = 0; i < capture.bytes.size(); i++)
        capture.bytes[i] = static_cast<uint8_t>(1 + i % 251);  // no silent byte
    const int steps = 3308;  // ten minutes
    double read = 0;         // device bytes read, unwrapped
    BlockStepTrace = [](const BlockStepRecord& step) { StepsCorrected += step.anchor == AnchorCorrection; };
    StepsCorrected = 0;
    for (int step = 0; step < steps; step++) {
        int late = static_cast<int>(random() % (clocks.jitter + 1));
        if (clocks.lateEvery && step % clocks.lateEvery == clocks.lateEvery - 1)
            late = clocks.late;
        const double now = 4000.0 * (step + 1) + late;  // capture samples
        const double target = 2 * now * clocks.playPerCapture;
        playback.ReadOn(static_cast<DWORD>(target - read));
        read = static_cast<DWORD>(target);
        const DWORD quantized = static_cast<DWORD>(read) / clocks.step * clocks.step;
        playback.writeCursor = quantized % RingBytes;
        playback.playCursor = (quantized + RingBytes - clocks.lead) % RingBytes;
        // The capture cursor has passed the half's end when its notification comes.
        capture.captureCursor = (static_cast<DWORD>(2 * now) + 440) / 441 * 441 % RingBytes;
        if (clocks.resyncEvery && random() % clocks.resyncEvery == 0)
            PlayWriteCursor = ResyncRequest;
        const long cutBefore = playback.overwritten, correctionsBefore = StepsCorrected;
        ASSERT_TRUE(BlockStep(step & 1));
        if (playback.overwritten != cutBefore) {
            ASSERT_GT(StepsCorrected, correctionsBefore) << "sound cut at step " << step;
        }
    }
    BlockStepTrace = nullptr;
    const double bytesPerMs = 44.1;
    printf("%s: %d corrections, %.0f ms silent, %.0f ms cut, %ld bytes read twice\n", clocks.name, StepsCorrected,
           playback.silent / bytesPerMs, playback.overwritten / bytesPerMs, playback.playedAgain);
    EXPECT_EQ(playback.playedAgain, 0);
    EXPECT_GE(StepsCorrected, clocks.minCorrections);
    EXPECT_LE(StepsCorrected, clocks.maxCorrections);
    EXPECT_LE(playback.silent / bytesPerMs, clocks.maxSilentMs);
    EXPECT_LE(playback.overwritten / bytesPerMs, clocks.maxCutMs);
}

// Wine's device: cursors in 10-ms steps, the write cursor one step ahead.
// Windows: three steps ahead. A Bluetooth headset: 100 to 200 ms ahead,
// 20-ms steps.
INSTANTIATE_TEST_SUITE_P(
    TenMinutes, StreamClocks,
    ::testing::Values(
        // 10 ms of jitter is what Wine's period gives: no correction, nothing lost.
        Clocks{"WineAgreeing", 1.0, 440, 441, 220, 0, 0, 0, 0, 0, 0, 0},
        Clocks{"WineAgreeingResyncEveryStep", 1.0, 440, 441, 220, 0, 0, 1, 0, 0, 0, 0},
        Clocks{"WineAgreeingResyncAtRandom", 1.0, 440, 441, 220, 0, 0, 4, 0, 0, 0, 0},
        Clocks{"WindowsAgreeingResyncEveryStep", 1.0, 1323, 441, 220, 0, 0, 1, 0, 0, 0, 0},
        Clocks{"WindowsAgreeingResyncAtRandom", 1.0, 1323, 441, 220, 0, 0, 4, 0, 0, 0, 0},
        Clocks{"BluetoothAgreeingResyncEveryStep", 1.0, 4410, 882, 220, 0, 0, 1, 0, 0, 0, 0},
        Clocks{"BluetoothAgreeingResyncAtRandom", 1.0, 4410, 882, 220, 0, 0, 4, 0, 0, 0, 0},
        Clocks{"Bluetooth120msAgreeingResyncAtRandom", 1.0, 5292, 882, 220, 0, 0, 4, 0, 0, 0, 0},
        // 200 ms ahead leaves 162 ms of the 362-ms ring for a 181-ms block:
        // every block loses its head, which the device has read already. It
        // reads silence there, never the ring's previous pass.
        Clocks{"Bluetooth200msCannotTakeAWholeBlock", 1.0, 8820, 882, 220, 0, 0, 4, 0, 3308, 100000, 100000},
        // Wine plays 221 frames per 10 ms on a 22050 Hz device: 0.227 % fast,
        // 1.36 s in ten minutes to be made up by silence.
        Clocks{"WineOn22050HzDevices", 221.0 / 220.5, 440, 441, 220, 0, 0, 0, 10, 25, 1500, 0},
        Clocks{"WineOn22050HzDevicesResyncEveryStep", 221.0 / 220.5, 440, 441, 220, 0, 0, 1, 0, 25, 1500, 0},
        // Separate capture and playback devices, 300 ppm apart either way: a
        // slow device leaves more sound than time, which must be cut.
        Clocks{"PlaybackSlowBy300ppm", 0.9997, 440, 441, 220, 0, 0, 0, 1, 6, 0, 400},
        Clocks{"PlaybackSlowBy300ppmResyncAtRandom", 0.9997, 1323, 441, 220, 0, 0, 4, 1, 6, 0, 400},
        Clocks{"PlaybackFastBy300ppm", 1.0003, 440, 441, 220, 0, 0, 0, 1, 3, 400, 0},
        // A busy machine: every 30 s one step comes 70 ms late. Its block
        // lands where it would anyway, still safely ahead of the device.
        Clocks{"StepLateBy70msEvery30s", 1.0, 440, 441, 220, 165, 1544, 0, 0, 0, 0, 0},
        Clocks{"StepLateBy70msEvery30sResyncEveryStep", 1.0, 440, 441, 220, 165, 1544, 1, 0, 0, 0, 0},
        // 120 and 150 ms late: the device has read past the last block, and
        // the block goes just beyond its write cursor. The next step, on
        // time, finds it safe: no correction undoes the first one, and no
        // sound is cut.
        Clocks{"StepLateBy120msEvery30s", 1.0, 440, 441, 220, 165, 2646, 0, 1, 20, 500, 0},
        Clocks{"StepLateBy150msEvery30sResyncAtRandom", 1.0, 440, 441, 220, 165, 3308, 4, 1, 20, 1000, 0}),
    [](const ::testing::TestParamInfo<Clocks>& info) { return std::string(info.param.name); });

// A step that comes more than half a ring late finds its half being
// overwritten with the next pass: it plays nothing of it.
TEST_F(StreamTest, HalfBeingOverwrittenIsSkipped)
{
    DeviceAt(1000);
    capture.captureCursor = 100;  // the device is writing half 0 again
    ASSERT_TRUE(BlockStep(0));
    EXPECT_EQ(capture.locked, 0);
    EXPECT_TRUE(std::all_of(playback.bytes.begin(), playback.bytes.end(), [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(PlayWriteCursor, ResyncRequest);
    capture.captureCursor = 15600;  // its period into half 0 may be copied already
    ASSERT_TRUE(BlockStep(0));
    EXPECT_EQ(capture.locked, 0);
    EXPECT_EQ(PlayWriteCursor, ResyncRequest);
    capture.captureCursor = 8000;  // half 0 is whole now, half 1 being filled
    ASSERT_TRUE(BlockStep(0));
    EXPECT_EQ(PlayedAt(4998), CapturedHalf(0));
}

TEST_F(StreamTest, HalfOverwrittenWhileReadIsDropped)
{
    DeviceAt(1000);
    std::fill(playback.bytes.begin(), playback.bytes.end(), 0x55);
    capture.captureCursor = 14000;
    capture.cursorAfterLock = 300;  // the device reached half 0 during the step
    ASSERT_TRUE(BlockStep(0));
    EXPECT_EQ(capture.locked, 0);
    EXPECT_EQ(playback.locked, 0);
    // 136 ms late: the block would have gone one 10-ms step beyond the write
    // cursor, at 1441.
    EXPECT_EQ(PlayedAt(1441), std::vector<uint8_t>(HalfBytes, 0));  // silence, not a torn block
    EXPECT_EQ(PlayWriteCursor, 1441u);  // the next block goes in its place
    capture.cursorAfterLock = FakeCaptureRing::NoCursor;
    capture.captureCursor = 8000;
    ASSERT_TRUE(BlockStep(0));
    EXPECT_EQ(PlayedAt(1441), CapturedHalf(0));
    EXPECT_EQ(PlayWriteCursor, 9441u);
}

}  // namespace
