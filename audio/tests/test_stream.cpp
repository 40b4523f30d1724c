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
    playback.writeCursor = 14000;
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

struct FailedLock {
    bool capture;
    const char* message;
};

class StreamLockFailure : public StreamTest, public ::testing::WithParamInterface<FailedLock> {};

TEST_P(StreamLockFailure, StoresItsMessageDestroysTheMainWindowAndStops)
{
    Audio.mainWindow = CreateWindowExA(0, "STATIC", "main", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                       nullptr, nullptr);
    (GetParam().capture ? capture.failLock : playback.failLock) = true;
    EXPECT_FALSE(BlockStep(0));
    ASSERT_NE(PendingError, nullptr);
    EXPECT_STREQ(PendingError, GetParam().message);
    EXPECT_FALSE(IsWindow(Audio.mainWindow));
    // The captured half is handed back even when only the playback lock failed.
    EXPECT_EQ(capture.locked, 0);
    EXPECT_EQ(playback.locked, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rings, StreamLockFailure,
    ::testing::Values(
        FailedLock{true, "Unable to lock capture buffer! If you have other sound-applications running "
                         "please close them and restart Voxotrope!"},
        FailedLock{false, "Unable to lock playback buffer! If you have other sound-applications "
                          "running please close them and restart Voxotrope!"}));

// Hundreds of steps with random device cursors, resync requests and jitter
// within the drift tolerance: each block's 8000 bytes land exactly where the
// rules put them.
TEST_F(StreamTest, RandomCursorsAndResyncsPlaceEveryBlockExactly)
{
    std::mt19937 random(12345);
    EffectFlags[FxReverse] = 1;  // the chain's output differs from its input
    uint32_t expected = 0;
    for (int step = 0; step < 600; step++) {
        int half = step & 1;
        for (size_t i = half * HalfBytes; i < (half + 1) * HalfBytes; i++)
            capture.bytes[i] = static_cast<uint8_t>(random());
        if (step == 0 || random() % 4 == 0) {
            DeviceAt(random() % RingBytes);
            PlayWriteCursor = ResyncRequest;
            expected = (playback.writeCursor + ResyncLead) % RingBytes;
        } else {
            DeviceAt(expected + RingBytes - ResyncLead + random() % (2 * DriftTolerance) - DriftTolerance);
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
}

// Ten minutes of blocks against devices whose clocks differ or whose steps
// come late. The device plays what the ring holds; no sound may be played a
// second time (a stretch from the ring's previous pass), sound is cut before
// it was played only by a correction (a playback clock slower than capture,
// or a late step, leaves more sound than time), and the write position is
// corrected only as often as the clocks make necessary.
struct Clocks {
    const char* name;
    double playPerCapture;  // samples the device plays per captured sample
    int jitter;             // each step comes up to this many samples late
    int lateEvery, late;    // and every lateEvery-th step `late` samples late
    int minCorrections, maxCorrections;
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
    double played = 0;       // device samples played, unwrapped
    int corrections = 0;
    BlockStepTrace = [](const BlockStepRecord& step) { StepsCorrected += step.anchor == AnchorCorrection; };
    StepsCorrected = 0;
    DeviceAt(440);
    for (int step = 0; step < steps; step++) {
        int late = static_cast<int>(random() % (clocks.jitter + 1));
        if (clocks.lateEvery && step % clocks.lateEvery == clocks.lateEvery - 1)
            late = clocks.late;
        const double now = 4000.0 * (step + 1) + late;  // capture samples
        const double target = now * clocks.playPerCapture;
        playback.PlayOn(2 * static_cast<DWORD>(target - played));
        played = static_cast<DWORD>(target);
        playback.writeCursor = (playback.playCursor + 440) % RingBytes;
        capture.captureCursor = static_cast<DWORD>(2 * now) % RingBytes;
        const long cutBefore = playback.overwritten, correctionsBefore = StepsCorrected;
        ASSERT_TRUE(BlockStep(step & 1));
        if (playback.overwritten != cutBefore) {
            ASSERT_GT(StepsCorrected, correctionsBefore) << "sound cut at step " << step;
        }
    }
    corrections = StepsCorrected;
    BlockStepTrace = nullptr;
    EXPECT_EQ(playback.playedAgain, 0);
    EXPECT_GE(corrections, clocks.minCorrections);
    EXPECT_LE(corrections, clocks.maxCorrections);
}

INSTANTIATE_TEST_SUITE_P(
    TenMinutes, StreamClocks,
    ::testing::Values(
        // 10 ms of jitter is what Wine's period gives: no correction.
        Clocks{"AgreeingClocksWithJitter", 1.0, 220, 0, 0, 0, 0},
        // Wine plays 221 frames per 10 ms on a 22050 Hz device: 0.227 % fast,
        // 100 bytes a second, a correction every 2000 bytes.
        Clocks{"WineOn22050HzDevices", 221.0 / 220.5, 220, 0, 0, 25, 35},
        // Separate capture and playback devices, 300 ppm apart either way.
        Clocks{"PlaybackSlowBy300ppm", 0.9997, 220, 0, 0, 1, 4},
        Clocks{"PlaybackFastBy300ppm", 1.0003, 220, 0, 0, 1, 4},
        // A busy machine: every 30 s one step comes 150 ms late.
        Clocks{"StepLateBy150msEvery30s", 1.0, 220, 165, 3300, 0, 40}),
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
    capture.captureCursor = 8100;  // half 0 is whole now, half 1 being filled
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
    EXPECT_EQ(PlayedAt(4998), std::vector<uint8_t>(HalfBytes, 0));  // silence, not a torn block
    EXPECT_EQ(PlayWriteCursor, 4998u);  // the next block goes in its place
    capture.cursorAfterLock = FakeCaptureRing::NoCursor;
    capture.captureCursor = 8100;
    ASSERT_TRUE(BlockStep(0));
    EXPECT_EQ(PlayedAt(4998), CapturedHalf(0));
    EXPECT_EQ(PlayWriteCursor, 12998u);
}

}  // namespace
