#include <gtest/gtest.h>
#include <cstring>
#include <random>
#include "audio_objects.h"
#include "chain.h"
#include "fake_rings.h"
#include "stream.h"

namespace {

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
    playback.writeCursor = 1000;
    ASSERT_TRUE(BlockStep(0));
    EXPECT_EQ(playback.lastLockOffset, 4998u);
    EXPECT_EQ(PlayedAt(4998), CapturedHalf(0));
    EXPECT_EQ(PlayWriteCursor, 12998u);
    // The next block lands right behind, wrapped into the ring.
    ASSERT_TRUE(BlockStep(1));
    EXPECT_EQ(playback.lastLockOffset, 12998u);
    EXPECT_EQ(PlayedAt(12998), CapturedHalf(1));
    EXPECT_EQ(PlayWriteCursor, 20998u);
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
    ASSERT_TRUE(BlockStep(1));
    EXPECT_EQ(playback.lastLengths[0], 4002u);
    EXPECT_EQ(playback.lastLengths[1], 3998u);
    std::vector<uint8_t> half = CapturedHalf(1);
    EXPECT_TRUE(std::equal(half.begin(), half.begin() + 4002, playback.bytes.begin() + 11998));
    EXPECT_TRUE(std::equal(half.begin() + 4002, half.end(), playback.bytes.begin()));
    // Nothing else of the ring was touched.
    EXPECT_TRUE(std::all_of(playback.bytes.begin() + 3998, playback.bytes.begin() + 11998,
                            [](uint8_t b) { return b == 0; }));
}

TEST_F(StreamTest, AlignedPositionsUseOneRegion)
{
    for (DWORD position : {0u, 8000u}) {
        PlayWriteCursor = position;
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
    TransportToggle(button);
    EXPECT_EQ(ButtonText(), "Stop");
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

// Hundreds of steps with random device cursors and resync requests: each
// block's 8000 bytes land exactly where the rules put them.
TEST_F(StreamTest, RandomCursorsAndResyncsPlaceEveryBlockExactly)
{
    std::mt19937 random(12345);
    EffectFlags[FxReverse] = 1;  // the chain's output differs from its input
    uint32_t expected = 0;
    bool haveExpected = false;
    for (int step = 0; step < 600; step++) {
        int half = step & 1;
        for (size_t i = half * HalfBytes; i < (half + 1) * HalfBytes; i++)
            capture.bytes[i] = static_cast<uint8_t>(random());
        playback.writeCursor = random() % RingBytes;
        if (random() % 4 == 0 || !haveExpected) {
            PlayWriteCursor = ResyncRequest;
            expected = (playback.writeCursor + ResyncLead) % RingBytes;
        }
        ASSERT_TRUE(BlockStep(half));
        // Reverse of the captured samples, written from the expected place.
        const int16_t* in = reinterpret_cast<const int16_t*>(capture.bytes.data() + half * HalfBytes);
        std::vector<uint8_t> played = PlayedAt(expected);
        const int16_t* out = reinterpret_cast<const int16_t*>(played.data());
        for (int k = 0; k < AudioBlockSamples; k++)
            ASSERT_EQ(out[k], in[AudioBlockSamples - 1 - k]) << "step " << step << " sample " << k;
        expected = (expected + HalfBytes) % RingBytes;
        haveExpected = true;
    }
}

}  // namespace
