#include <gtest/gtest.h>
#include <cstring>
#include <random>
#include "audio_objects.h"
#include "chain.h"
#include "fake_rings.h"
#include "stream.h"

namespace {

int StepsCorrected;  // corrections counted through the trace hook

DWORD FakeNow;  // ms, for the stream's clock
DWORD WINAPI FakeClock() { return FakeNow; }

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
        StreamClock = FakeClock;
        FakeNow = 1000;
        Transport = 0;
        for (size_t i = 0; i < capture.bytes.size(); i++)
            capture.bytes[i] = static_cast<uint8_t>(i * 7 + i / 256);
        button = CreateWindowExA(0, "BUTTON", "Start", 0, 0, 0, 40, 20, nullptr, nullptr, nullptr, nullptr);
    }
    void TearDown() override
    {
        // Whatever a test did, nothing went into the ring a byte off.
        EXPECT_EQ(playback.oddLocks, 0);
        EXPECT_EQ(playback.splitSamples, 0);
        StreamClock = GetTickCount;
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
    DeviceAt(8000);  // anchored at 11998
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

// Hundreds of steps of a device that moves on by random amounts, with resync
// requests and jitter: each block's 8000 bytes land exactly where the rules
// put them. Under Wine's cursors (write cursor 440 bytes beyond the play
// cursor) a block follows the last one while it would start 882 to 8000
// bytes beyond the play cursor, on a request too unless that is more than
// two 10-ms steps short of its anchored place, 4438 (below 3554); beyond
// 8440, half a ring beyond the write cursor, it would overwrite sound the
// device has not read yet, and goes halfway back, 6438 beyond the play
// cursor; where the device has played past the last block it is anchored
// 3998 beyond the write cursor.
TEST_F(StreamTest, RandomCursorsAndResyncsPlaceEveryBlockExactly)
{
    std::mt19937 random(12345);
    EffectFlags[FxReverse] = 1;  // the chain's output differs from its input
    uint64_t play = 0, next = 0;  // unwrapped: the play cursor, where the next block goes
    int kept = 0, moved = 0;
    for (int step = 0; step < 600; step++) {
        int half = step & 1;
        for (size_t i = half * HalfBytes; i < (half + 1) * HalfBytes; i++)
            capture.bytes[i] = static_cast<uint8_t>(random());
        DWORD forward;
        if (step == 0 || random() % 4 == 0) {
            forward = random() % RingBytes & ~1u;
            PlayWriteCursor = ResyncRequest;
        } else {
            forward = static_cast<DWORD>(next - 4438 + random() % 4000 - 2000 - play) & ~1u;
        }
        play += forward;
        FakeNow += forward * 10 / 441;
        DeviceAt(static_cast<DWORD>(play % RingBytes) + 440);
        const uint64_t ahead = next > play ? next - play : 0;
        if (step > 0 && ahead > 8440) {
            next = play + 6438;
            moved++;
        } else if (step == 0 || ahead < 882 || (PlayWriteCursor == ResyncRequest && ahead < 3554)) {
            next = play + 4438;
            moved++;
        } else {
            kept += PlayWriteCursor == ResyncRequest;
        }
        ASSERT_TRUE(BlockStep(half));
        // Reverse of the captured samples, written from the expected place.
        const int16_t* in = reinterpret_cast<const int16_t*>(capture.bytes.data() + half * HalfBytes);
        std::vector<uint8_t> played = PlayedAt(static_cast<DWORD>(next % RingBytes));
        const int16_t* out = reinterpret_cast<const int16_t*>(played.data());
        for (int k = 0; k < AudioBlockSamples; k++)
            ASSERT_EQ(out[k], in[AudioBlockSamples - 1 - k]) << "step " << step << " sample " << k;
        next += HalfBytes;
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
// differ from the capture's, whose steps may come late or be held back, and
// whose windows may ask for a resync before any step. Cursors move in steps,
// the capture's too, and a device reads the ring at its write cursor, `lead`
// bytes ahead of what it plays. The loop runs the steps whose events are
// signalled, the first half's first, as the system's wait reports them; an
// event signalled twice while the thread was held runs one step. Every
// sample read must be one sample of one write; nothing may be read twice (a
// stretch from the ring's previous pass) except while a step is held back
// for longer than the ring holds sound; sound is cut before it was read only
// by a correction; and silence and cuts stay within what the clocks make
// necessary.
struct Clocks {
    const char* name;
    double playPerCapture = 1.0;  // samples the device plays per captured sample
    DWORD lead = 442, step = 442;  // write cursor beyond the play cursor; cursor step (bytes)
    DWORD writeStep = 0;           // the write cursor's own step, where it is larger
    DWORD leadLater = 0;           // the lead from the fifth minute on
    int jitter = 220;              // each step comes up to this many samples late
    int lateEvery = 0, late = 0;   // and every lateEvery-th step `late` samples late
    int tearEvery = 0;     // every tearEvery-th step, 145 ms late, finds its half overwritten as it reads
    int jumpEvery = 0;     // every jumpEvery-th step the device skips a quarter ring
    int outlierEvery = 0;  // every outlierEvery-th step the write cursor reads behind the play cursor
    DWORD capturePhase = 0;  // of the capture cursor's steps against the playback's
    int resyncEvery = 0;     // a request before every step (1), one in four at random (4), or none (0)
    int minCorrections = 0, maxCorrections = 0;
    double maxSilentMs = 0, maxCutMs = 0, maxTwiceMs = 0;  // in ten minutes
};

void PrintTo(const Clocks& clocks, std::ostream* out) { *out << clocks.name; }

class StreamClocks : public StreamTest, public ::testing::WithParamInterface<Clocks> {};

TEST_P(StreamClocks, NoSoundPlaysTwiceOrIsLost)
{
    const Clocks c = GetParam();
    std::mt19937 random(7);
    for (size_t i = 0; i < capture.bytes.size(); i++)
        capture.bytes[i] = static_cast<uint8_t>(1 + i % 251);  // no silent byte
    const int events = 3308;  // ten minutes
    const long long origin = 64LL * RingBytes;  // keeps the cursors' arithmetic positive
    long long consumed = 0;  // device bytes read or skipped
    long long jumped = 0;    // of which skipped
    BlockStepTrace = [](const BlockStepRecord& step) { StepsCorrected += step.anchor == AnchorCorrection; };
    StepsCorrected = 0;
    for (int k = 0, group = 0; k < events; group++) {
        int late = static_cast<int>(random() % (c.jitter + 1));
        const bool lateNow = c.lateEvery && group % c.lateEvery == c.lateEvery - 1;
        const bool tear = c.tearEvery && group % c.tearEvery == c.tearEvery - 1;
        if (lateNow)
            late = c.late;
        if (tear)
            late = 3200;
        // The capture cursor moves in 10-ms steps; an event comes when it
        // reaches the half's notification offset.
        auto signalled = [&](int event) {
            const long long offset = 8000LL * (event + 1) - 2 - c.capturePhase;
            return ((offset + 441) / 442 * 442 + c.capturePhase) / 2.0;  // capture samples
        };
        const double now = signalled(k) + late;
        // The events signalled by then.
        bool pending[2] = {};
        for (; k < events && signalled(k) <= now; k++)
            pending[k & 1] = true;
        FakeNow = static_cast<DWORD>(now / 22.05);
        if (c.jumpEvery && group % c.jumpEvery == c.jumpEvery - 1) {
            playback.SkipOn(RingBytes / 4);
            consumed += RingBytes / 4;
            jumped += RingBytes / 4;
        }
        const long long device = static_cast<long long>(2 * now * c.playPerCapture) / 2 * 2 + jumped;
        const long twiceBefore = playback.playedAgain;
        playback.ReadOn(static_cast<DWORD>(device - consumed));
        consumed = device;
        if (!(lateNow && c.late > 4000)) {
            ASSERT_EQ(playback.playedAgain, twiceBefore) << "read twice before event " << k;
        }
        const DWORD lead = c.leadLater && 2 * k >= events ? c.leadLater : c.lead;
        const DWORD writeStep = c.writeStep ? c.writeStep : c.step;
        const long long write = (origin + device) / writeStep * writeStep;
        playback.writeCursor = static_cast<DWORD>(write % RingBytes);
        playback.playCursor = static_cast<DWORD>((origin + device - lead) / c.step * c.step % RingBytes);
        if (c.outlierEvery && group % c.outlierEvery == c.outlierEvery - 1)
            playback.writeCursor = (playback.playCursor + RingBytes - 100) % RingBytes;
        const long long captured = static_cast<long long>(2 * now);
        capture.captureCursor =
            static_cast<DWORD>(((captured - c.capturePhase) / 442 * 442 + c.capturePhase) % RingBytes);
        if (tear)
            capture.cursorAfterLock = (capture.captureCursor + 700) % RingBytes;
        for (int half : {0, 1}) {
            if (!pending[half])
                continue;
            if (c.resyncEvery && random() % c.resyncEvery == 0)
                PlayWriteCursor = ResyncRequest;
            const long cutBefore = playback.overwritten, correctionsBefore = StepsCorrected;
            ASSERT_TRUE(BlockStep(half));
            if (playback.overwritten != cutBefore) {
                ASSERT_GT(StepsCorrected, correctionsBefore) << "sound cut at event " << k;
            }
        }
        capture.cursorAfterLock = FakeCaptureRing::NoCursor;
    }
    BlockStepTrace = nullptr;
    const double bytesPerMs = 44.1;
    printf("%s: %d corrections, %.0f ms silent, %.0f ms cut, %.0f ms read twice\n", c.name, StepsCorrected,
           playback.silent / bytesPerMs, playback.overwritten / bytesPerMs, playback.playedAgain / bytesPerMs);
    EXPECT_EQ(playback.oddLocks, 0);
    EXPECT_EQ(playback.splitSamples, 0);
    EXPECT_LE(playback.playedAgain / bytesPerMs, c.maxTwiceMs);
    EXPECT_GE(StepsCorrected, c.minCorrections);
    EXPECT_LE(StepsCorrected, c.maxCorrections);
    EXPECT_LE(playback.silent / bytesPerMs, c.maxSilentMs);
    EXPECT_LE(playback.overwritten / bytesPerMs, c.maxCutMs);
}

// Wine's device: cursors in 10-ms steps (221 samples at 22050 Hz), the write
// cursor one step ahead. Windows: three steps ahead. A Bluetooth headset:
// 100 to 200 ms ahead, 20-ms steps.
INSTANTIATE_TEST_SUITE_P(
    TenMinutes, StreamClocks,
    ::testing::Values(
        // 10 ms of jitter is what Wine's period gives: no correction, nothing lost.
        Clocks{.name = "WineAgreeing"},
        Clocks{.name = "WineAgreeingResyncEveryStep", .resyncEvery = 1},
        Clocks{.name = "WineAgreeingResyncAtRandom", .resyncEvery = 4},
        Clocks{.name = "WindowsAgreeingResyncEveryStep", .lead = 1326, .resyncEvery = 1},
        Clocks{.name = "WindowsAgreeingResyncAtRandom", .lead = 1326, .resyncEvery = 4},
        Clocks{.name = "BluetoothAgreeingResyncEveryStep", .lead = 4410, .step = 882, .resyncEvery = 1},
        Clocks{.name = "BluetoothAgreeingResyncAtRandom", .lead = 4410, .step = 882, .resyncEvery = 4},
        Clocks{.name = "Bluetooth120msAgreeingResyncAtRandom", .lead = 5292, .step = 882, .resyncEvery = 4},
        // 200 ms ahead: the device has read what lies between its play and
        // write cursors, so the ring still takes a block beyond its write
        // cursor, and the sound comes 290 ms after it was written.
        Clocks{.name = "Bluetooth200msAgreeingResyncAtRandom", .lead = 8820, .step = 882, .resyncEvery = 4},
        // Wine plays 221 frames per 10 ms on a 22050 Hz device: 0.227 % fast,
        // 1.36 s in ten minutes to be made up by silence.
        Clocks{.name = "WineOn22050HzDevices", .playPerCapture = 221.0 / 220.5, .minCorrections = 10,
               .maxCorrections = 25, .maxSilentMs = 1500},
        Clocks{.name = "WineOn22050HzDevicesResyncEveryStep", .playPerCapture = 221.0 / 220.5, .resyncEvery = 1,
               .maxCorrections = 25, .maxSilentMs = 1500},
        // Separate capture and playback devices, 300 ppm apart either way: a
        // slow device leaves more sound than time, which must be cut.
        Clocks{.name = "PlaybackSlowBy300ppm", .playPerCapture = 0.9997, .minCorrections = 1, .maxCorrections = 6,
               .maxCutMs = 400},
        Clocks{.name = "PlaybackSlowBy300ppmResyncAtRandom", .playPerCapture = 0.9997, .lead = 1326,
               .resyncEvery = 4, .minCorrections = 1, .maxCorrections = 6, .maxCutMs = 400},
        Clocks{.name = "PlaybackFastBy300ppm", .playPerCapture = 1.0003, .minCorrections = 1, .maxCorrections = 3,
               .maxSilentMs = 400},
        // A busy machine: every 30 s one step comes 70 ms late. Its block
        // lands where it would anyway, still safely ahead of the device.
        Clocks{.name = "StepLateBy70msEvery30s", .lateEvery = 165, .late = 1544},
        Clocks{.name = "StepLateBy70msEvery30sResyncEveryStep", .lateEvery = 165, .late = 1544, .resyncEvery = 1},
        // 120 to 160 ms late: the device has read past the last block, and
        // the block goes just beyond its write cursor. The next step, on
        // time, finds it safe: no correction undoes the first one, and no
        // sound is cut.
        Clocks{.name = "StepLateBy120msEvery30s", .lateEvery = 165, .late = 2646, .minCorrections = 1,
               .maxCorrections = 20, .maxSilentMs = 500},
        Clocks{.name = "StepLateBy150msEvery30sResyncAtRandom", .lateEvery = 165, .late = 3308, .resyncEvery = 4,
               .minCorrections = 1, .maxCorrections = 20, .maxSilentMs = 1000},
        Clocks{.name = "StepLateBy160msEvery30s", .lateEvery = 165, .late = 3528, .minCorrections = 1,
               .maxCorrections = 20, .maxSilentMs = 1000},
        // The thread held back for 200 to 360 ms, and for a second (a
        // starved machine, sleep): the half it was late for is dropped, the
        // next block anchored. While it is held the device plays what the
        // ring holds and comes round to sound it played before, 181 ms of
        // silence after the last block; after it nothing is played twice.
        Clocks{.name = "Held200msEvery30s", .lateEvery = 165, .late = 4410, .minCorrections = 1,
               .maxCorrections = 20, .maxSilentMs = 3500, .maxTwiceMs = 600},
        Clocks{.name = "Held250msEvery30s", .lateEvery = 165, .late = 5513, .minCorrections = 1,
               .maxCorrections = 20, .maxSilentMs = 2500, .maxTwiceMs = 1600},
        Clocks{.name = "Held360msEvery30sResyncAtRandom", .lateEvery = 165, .late = 7938, .resyncEvery = 4,
               .minCorrections = 1, .maxCorrections = 20, .maxSilentMs = 4000, .maxTwiceMs = 4000},
        Clocks{.name = "Held1sEvery30sResyncAtRandom", .lateEvery = 165, .late = 22050, .resyncEvery = 4,
               .minCorrections = 1, .maxCorrections = 20, .maxSilentMs = 5000, .maxTwiceMs = 14000},
        // A half dropped because the capture overwrote it while it was read;
        // the prompt steps after it anchor afresh.
        Clocks{.name = "DroppedHalfThenPromptStepsEvery30s", .tearEvery = 165, .minCorrections = 1,
               .maxCorrections = 40, .maxSilentMs = 3000},
        // The device jumps a quarter ring now and then: what lies between
        // its write cursor and the next block is silenced.
        Clocks{.name = "PlayCursorJumpsAQuarterRingEvery30s", .jumpEvery = 165, .minCorrections = 1,
               .maxCorrections = 25, .maxSilentMs = 2000},
        // Readings that lead estimates kept since the start could not heal
        // from: one write cursor read behind the play cursor, a stream moved
        // to a device that leads by 30 ms, and cursors that move in steps of
        // their own.
        Clocks{.name = "WriteCursorReadBehindThePlayCursorOnce", .outlierEvery = 1650},
        Clocks{.name = "LeadFrom10To30msMidRun", .leadLater = 1326, .resyncEvery = 4},
        Clocks{.name = "CaptureCursorInItsOwnPhase", .capturePhase = 200, .resyncEvery = 4},
        Clocks{.name = "WriteCursorInLargerStepsThanThePlayCursor", .lead = 2206, .writeStep = 1764,
               .resyncEvery = 4}),
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
    // Regression: a cursor at the notification offset, where the event
    // fires, read as a step almost a whole ring late, and the half was lost.
    capture.captureCursor = NotifyOffset[0];
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
    // cursor, at 1442.
    EXPECT_EQ(PlayedAt(1442), std::vector<uint8_t>(HalfBytes, 0));  // silence, not a torn block
    EXPECT_EQ(PlayWriteCursor, 1442u);
    // The next block is anchored, with silence from the write cursor on.
    capture.cursorAfterLock = FakeCaptureRing::NoCursor;
    capture.captureCursor = 8000;
    ASSERT_TRUE(BlockStep(0));
    EXPECT_EQ(PlayedAt(4998), CapturedHalf(0));
    EXPECT_TRUE(std::all_of(playback.bytes.begin() + 1000, playback.bytes.begin() + 4998,
                            [](uint8_t b) { return b == 0; }));
}

}  // namespace
