// voxotrope-live's controls: keys and command lines against known settings,
// and the hand-over of settings and carriers to the audio thread.
#include <gtest/gtest.h>
#include <string>
#include "carrier.h"
#include "live_chain.h"
#include "live_control.h"
#include "live_terminal.h"

namespace {

LiveSettings Start()
{
    LiveSettings settings{};
    settings.pitch = 2;
    settings.volume = 8;
    return settings;
}

struct LineCase {
    const char* name;
    const char* line;
    ControlOutcome outcome;
    const char* described;  // DescribeSettings afterwards, or the error's start
};

class ControlLines : public testing::TestWithParam<LineCase> {};

TEST_P(ControlLines, SettingsOrError)
{
    const LineCase& c = GetParam();
    LiveSettings settings = Start();
    settings.effects[FxReverse] = 1;  // on before every line
    std::string error;
    ASSERT_EQ(ControlLine(c.line, &settings, &error), c.outcome);
    if (c.outcome == ControlError)
        EXPECT_EQ(error.rfind(c.described, 0), 0u) << error;
    else
        EXPECT_EQ(DescribeSettings(settings), c.described);
}

INSTANTIATE_TEST_SUITE_P(
    Live, ControlLines,
    testing::Values(
        LineCase{"FxReplacesTheSet", "fx deeper,PITCH", ControlChanged, "fx pitch,deeper  pitch 2  volume 8"},
        LineCase{"FxNone", "fx none", ControlChanged, "fx none  pitch 2  volume 8"},
        LineCase{"FxEmpty", "fx", ControlChanged, "fx none  pitch 2  volume 8"},
        LineCase{"OnAdds", "on am,crazy", ControlChanged, "fx am,reverse,crazy  pitch 2  volume 8"},
        LineCase{"OffRemovesOnlyThose", "off reverse,pitch", ControlChanged, "fx none  pitch 2  volume 8"},
        LineCase{"PitchKeepsEffects", "pitch 3", ControlChanged, "fx reverse  pitch 3  volume 8"},
        LineCase{"VolumeHighest", "volume 52", ControlChanged, "fx reverse  pitch 2  volume 52"},
        LineCase{"Status", "status", ControlUnchanged, "fx reverse  pitch 2  volume 8"},
        LineCase{"BlankLine", "", ControlUnchanged, "fx reverse  pitch 2  volume 8"},
        LineCase{"Quit", "quit", ControlQuit, "fx reverse  pitch 2  volume 8"},
        LineCase{"PitchOutOfRange", "pitch 4", ControlError, "--pitch: '4' is not a whole number from 1 to 3"},
        LineCase{"VolumeBelowStart", "volume 7", ControlError, "--volume: '7' is not"},
        LineCase{"PitchMissing", "pitch", ControlError, "--pitch: '' is not"},
        LineCase{"UnknownEffect", "on echo", ControlError, "--fx: unknown effect 'echo'"},
        LineCase{"TwoValues", "pitch 1 2", ControlError, "one value per command"},
        LineCase{"UnknownCommand", "louder", ControlError, "unknown command 'louder'"},
        LineCase{"CarrierWithoutFile", "carrier", ControlError, "carrier needs a file"}),
    [](const testing::TestParamInfo<LineCase>& info) { return info.param.name; });

TEST(LiveKeys, SwitchAndStepWithinTheSliders)
{
    LiveSettings settings = Start();
    EXPECT_EQ(ControlKey('d', &settings), ControlChanged);
    EXPECT_EQ(ControlKey('a', &settings), ControlChanged);
    EXPECT_EQ(ControlKey('3', &settings), ControlChanged);
    EXPECT_EQ(ControlKey('-', &settings), ControlUnchanged);  // 8 is the lowest
    EXPECT_EQ(ControlKey('+', &settings), ControlChanged);
    EXPECT_EQ(ControlKey('x', &settings), ControlUnchanged);
    EXPECT_EQ(DescribeSettings(settings), "fx am,deeper  pitch 3  volume 9");
    EXPECT_EQ(ControlKey('a', &settings), ControlChanged);
    EXPECT_EQ(ControlKey('0', &settings), ControlChanged);
    EXPECT_EQ(DescribeSettings(settings), "fx none  pitch 3  volume 9");
    settings.volume = 52;
    EXPECT_EQ(ControlKey('+', &settings), ControlUnchanged);
    EXPECT_EQ(ControlKey('q', &settings), ControlQuit);
}

// Home, F5 and the like came through as keys: the digits in their escape
// sequences set the pitch factor. Each sequence here is followed by 'p'.
TEST(LiveKeys, EscapeSequencesAreNoKeys)
{
    const char* typed = "\x1b[H" "p" "\x1b[15~" "p" "\x1b[1;3C" "p" "\x1bOQ" "p" "\x1b[[B" "p" "\x1b" "3" "p"
                        "\x1b\x1b[2~" "p" "2";
    KeyFilter filter{};
    std::string keys;
    for (const char* c = typed; *c; c++)
        if (PlainKey(&filter, static_cast<unsigned char>(*c)))
            keys += *c;
    EXPECT_EQ(keys, "ppppppp2");
}

TEST(LiveMailbox, SettingsAreTakenOnceAndWhole)
{
    static LiveMailbox mailbox;
    uint32_t seen = 0;
    LiveSettings posted = Start(), taken{};
    posted.effects[FxVolume] = 1;
    posted.volume = 20;
    EXPECT_FALSE(TakeSettings(&mailbox, &seen, &taken));  // nothing posted yet
    PostSettings(&mailbox, posted);
    ASSERT_TRUE(TakeSettings(&mailbox, &seen, &taken));
    EXPECT_EQ(DescribeSettings(taken), "fx volume  pitch 2  volume 20");
    EXPECT_FALSE(TakeSettings(&mailbox, &seen, &taken));
}

// Every carrier block is freed exactly once: the one replaced on the audio
// thread, one offered and never taken, and the stream's own at the end
// (ASan reports a leak or a double free).
TEST(LiveMailbox, CarriersComeBackToBeFreed)
{
    static LiveMailbox mailbox;
    static ChainStream stream;
    InitChainStream(&stream);
    const int16_t* first = nullptr;
    const int16_t* second = nullptr;
    const int16_t* third = nullptr;
    uint32_t length = 0;
    ASSERT_TRUE(MakeDefaultCarrier(&first, &length));
    ASSERT_TRUE(MakeDefaultCarrier(&second, &length));
    ASSERT_TRUE(MakeDefaultCarrier(&third, &length));
    PostCarrier(&mailbox, first, length);
    TakeCarrier(&mailbox, &stream);
    EXPECT_EQ(stream.chain.carrier.samples, first);
    PostCarrier(&mailbox, second, length);
    PostCarrier(&mailbox, third, length);  // the second is freed unused
    TakeCarrier(&mailbox, &stream);
    EXPECT_EQ(stream.chain.carrier.samples, third);
    EXPECT_EQ(stream.chain.carrier.readPosition, third);
    FreeReturnedCarriers(&mailbox);  // the first
    FreeCarrierBlock(StreamSwapCarrier(&stream, nullptr, 0));
    EXPECT_EQ(mailbox.returned.load(), nullptr);
}

}  // namespace
