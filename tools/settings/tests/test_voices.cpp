// Voice files and saved settings: what is read, what is refused and how it
// is named; the whole-or-nothing write; which voice a name finds.
#include <gtest/gtest.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include "chain_options.h"
#include "voice_file.h"
#include "voice_library.h"

namespace {

namespace fs = std::filesystem;

struct TextCase {
    const char* name;
    SettingsKind kind;
    std::string text;
    const char* expected;  // DescribeSettings and the carrier, or the error
};

class SettingsText : public testing::TestWithParam<TextCase> {};

TEST_P(SettingsText, ReadOrRefusedWithFileAndLine)
{
    const TextCase& c = GetParam();
    setenv("HOME", "/home/me", 1);
    SettingsRecord record{};
    record.voice.settings = StartSettings();
    std::string error;
    bool read = ParseSettingsText(c.text, "/voices/v.voice", c.kind, &record, &error);
    std::string got = read ? DescribeSettings(record.voice.settings) : error;
    if (read && !record.voice.carrier.empty())
        got += "  carrier " + record.voice.carrier;
    EXPECT_EQ(got, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Voices, SettingsText,
    testing::Values(
        TextCase{"Whole", VoiceSettings, "fx volume,PITCH\npitch 3\nvolume 20\n",
                 "fx pitch,volume  pitch 3  volume 20"},
        TextCase{"CommentsBlanksAndCarriageReturns", VoiceSettings, "# a voice\r\n\n  fx  deeper \r\n",
                 "fx deeper  pitch 2  volume 8"},
        TextCase{"NoneAndNoLastNewline", VoiceSettings, "fx none\nvolume 52", "fx none  pitch 2  volume 52"},
        TextCase{"CarrierBesideTheFile", VoiceSettings, "fx am\ncarrier my sounds/buzz.wav",
                 "fx am  pitch 2  volume 8  carrier /voices/my sounds/buzz.wav"},
        TextCase{"CarrierFromHome", VoiceSettings, "carrier ~/buzz.wav",
                 "fx none  pitch 2  volume 8  carrier /home/me/buzz.wav"},
        TextCase{"UnknownSetting", VoiceSettings, "fx am\n\npich 3",
                 "/voices/v.voice:3: unknown setting 'pich' (fx, pitch, volume, carrier)"},
        TextCase{"PitchOutOfRange", VoiceSettings, "pitch 4", "/voices/v.voice:1: pitch: '4' is not a whole number from 1 to 3"},
        TextCase{"VolumeMissing", VoiceSettings, "volume", "/voices/v.voice:1: volume: '' is not a whole number from 8 to 52"},
        TextCase{"UnknownEffect", VoiceSettings, "fx pitch,echo", "/voices/v.voice:1: fx: unknown effect 'echo' (pitch, volume, triangle, am, reverse, crazy, deeper)"},
        TextCase{"GivenTwice", VoiceSettings, "pitch 1\n#\npitch 3", "/voices/v.voice:3: pitch is given twice"},
        TextCase{"ZeroByte", VoiceSettings, std::string("fx am\npitch 1\0x", 15), "/voices/v.voice:2: a zero byte: not a text file"},
        TextCase{"StateKeyInAVoice", VoiceSettings, "monitor on", "/voices/v.voice:1: unknown setting 'monitor' (fx, pitch, volume, carrier)"},
        TextCase{"SavedBypassValue", SavedSettings, "bypass maybe", "/voices/v.voice:1: bypass: 'maybe' is neither on nor off"}),
    [](const testing::TestParamInfo<TextCase>& info) { return info.param.name; });

TEST(SavedSettings, ComeBackAsTheyWereWritten)
{
    SettingsRecord record{};
    record.voice.settings = StartSettings();
    record.voice.settings.effects[FxAM] = record.voice.settings.effects[FxDeeper] = 1;
    record.voice.settings.volume = 31;
    record.voice.carrier = "/my sounds/buzz.wav";
    record.voiceName = "robot";
    record.edited = record.bypass = record.monitor = true;
    SettingsRecord back{};
    back.voice.settings = StartSettings();
    std::string error;
    ASSERT_TRUE(ParseSettingsText(FormatSettings(record, SavedSettings), "/s", SavedSettings, &back, &error)) << error;
    EXPECT_EQ(DescribeSettings(back.voice.settings), "fx am,deeper  pitch 2  volume 31");
    EXPECT_EQ(back.voice.carrier, record.voice.carrier);
    EXPECT_EQ(back.voiceName, "robot");
    EXPECT_TRUE(back.edited && back.bypass && back.monitor);
}

// A folder of its own for XDG_CONFIG_HOME and the files a test writes.
class Folder : public testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/voxotrope-voices.XXXXXX";
        root = mkdtemp(name);
        setenv("XDG_CONFIG_HOME", root.c_str(), 1);
        fs::create_directories(root / "voxotrope/voices");
    }
    void TearDown() override
    {
        unsetenv("XDG_CONFIG_HOME");
        fs::remove_all(root);
    }
    void Write(const std::string& name, const std::string& text)
    {
        std::ofstream(root / "voxotrope/voices" / name) << text;
    }
    fs::path root;
};

TEST_F(Folder, WriteWholeReplacesAndLeavesNothingElse)
{
    std::string path = (root / "state/voxotrope/live.state").string(), error;
    ASSERT_TRUE(WriteFileWhole(path, "old\n", &error)) << error;
    ASSERT_TRUE(WriteFileWhole(path, "new\n", &error)) << error;
    std::ifstream file(path);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "new\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(root / "state/voxotrope"), fs::directory_iterator()), 1);
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::others_read, fs::perms::none);
}

TEST_F(Folder, WriteWholeFailsInOneLine)
{
    std::ofstream(root / "state") << "a file where the folder should be";
    std::string path = (root / "state/voxotrope/live.state").string(), error;
    EXPECT_FALSE(WriteFileWhole(path, "new\n", &error));
    EXPECT_EQ(error, "cannot write " + path + ": Not a directory");
}

TEST_F(Folder, UserFileWinsAndIsListedInOrder)
{
    Write("robot.voice", "fx pitch\n");
    Write("aardvark.voice", "fx reverse\n");
    Write("notes.txt", "fx am\n");
    Write(".hidden.voice", "fx am\n");
    Voice voice;
    std::string error;
    ASSERT_TRUE(LoadVoice("robot", &voice, &error)) << error;
    EXPECT_EQ(DescribeSettings(voice.settings), "fx pitch  pitch 2  volume 8");
    ASSERT_TRUE(LoadVoice("giant", &voice, &error)) << error;  // a factory voice still
    std::vector<VoiceEntry> voices = ListVoices();
    ASSERT_EQ(voices.size(), static_cast<size_t>(FactoryVoiceCount) + 1);
    EXPECT_EQ(voices.front().name, "aardvark");
    for (size_t i = 1; i < voices.size(); i++)
        EXPECT_LT(voices[i - 1].name, voices[i].name);
}

TEST_F(Folder, RefusedNamesAndFilesSayWhichAndWhy)
{
    Write("broken.voice", "fx am\nvolume 99\n");
    Voice voice;
    std::string error;
    EXPECT_FALSE(LoadVoice("broken", &voice, &error));
    EXPECT_EQ(error, (root / "voxotrope/voices/broken.voice").string() +
                         ":2: volume: '99' is not a whole number from 8 to 52");
    EXPECT_FALSE(LoadVoice("../voices/broken", &voice, &error));
    EXPECT_EQ(error.rfind("'../voices/broken' is not a voice name", 0), 0u) << error;
    EXPECT_FALSE(LoadVoice("nobody", &voice, &error));
    EXPECT_EQ(error.rfind("no voice 'nobody'", 0), 0u) << error;
    fs::create_directory(root / "voxotrope/voices/folder.voice");
    EXPECT_FALSE(LoadVoice("folder", &voice, &error));
    EXPECT_NE(error.find("folder.voice: cannot be read"), std::string::npos) << error;
}

// Every factory voice is read as it ships, with no carrier: the LV2
// presets are made from them and have no carrier to name.
TEST(FactoryVoices, ReadWithoutCarrier)
{
    ASSERT_GE(FactoryVoiceCount, 4);
    for (int i = 0; i < FactoryVoiceCount; i++) {
        SettingsRecord record{};
        std::string error;
        EXPECT_TRUE(ParseSettingsText(FactoryVoices[i].text, FactoryVoices[i].name, VoiceSettings, &record, &error))
            << error;
        EXPECT_TRUE(record.voice.carrier.empty()) << FactoryVoices[i].name;
        EXPECT_TRUE(VoiceNameAllowed(FactoryVoices[i].name));
    }
}

}  // namespace
