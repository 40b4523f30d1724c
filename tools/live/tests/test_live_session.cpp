// voxotrope-live's commands beyond the chain's settings (voices, bypass,
// monitor), the settings it keeps, and the control socket that --send
// talks to. Answers are written out by hand from the factory voices.
#include <gtest/gtest.h>
#include <pipewire/pipewire.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <utility>
#include <vector>
#include "carrier.h"
#include "live_session.h"
#include "live_socket.h"
#include "voice_library.h"

namespace {

namespace fs = std::filesystem;

// XDG_CONFIG_HOME and XDG_RUNTIME_DIR of the test's own.
class LiveFolder : public testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/voxotrope-live.XXXXXX";
        root = mkdtemp(name);
        setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (root / "run").c_str(), 1);
        fs::create_directories(root / "config/voxotrope/voices");
        fs::create_directory(root / "run");
        InitLiveSession(&session);
    }
    void TearDown() override
    {
        unsetenv("XDG_CONFIG_HOME");
        unsetenv("XDG_RUNTIME_DIR");
        fs::remove_all(root);
    }
    // The answer; a carrier block the command read is freed.
    std::string Run(const std::string& line)
    {
        CommandResult result;
        RunCommand(&session, line, &result);
        FreeCarrierBlock(result.carrierSamples);
        return result.answer;
    }
    fs::path root;
    LiveSession session;
};

using Step = std::pair<const char*, const char*>;  // command, answer
struct Script {
    const char* name;
    std::vector<Step> steps;
};

class LiveScript : public LiveFolder, public testing::WithParamInterface<Script> {};

TEST_P(LiveScript, AnswersInTurn)
{
    std::ofstream(root / "config/voxotrope/voices/broken.voice") << "fx am\nlouder yes\n";
    for (const Step& step : GetParam().steps) {
        std::string expected = step.second;
        if (size_t at = expected.find("CONFIG"); at != std::string::npos)
            expected.replace(at, 6, (root / "config").string());
        EXPECT_EQ(Run(step.first), expected) << step.first;
    }
}

const char* const Robot = "fx am  pitch 2  volume 8  voice robot  monitor off";

INSTANTIATE_TEST_SUITE_P(
    Live, LiveScript,
    testing::Values(
        Script{"BypassAndBack",
               {{"voice robot", Robot},
                {"bypass", "fx none  pitch 2  volume 8  bypass  voice robot  monitor off"},
                {"monitor on", "fx none  pitch 2  volume 8  bypass  voice robot  monitor on"},
                {"bypass", "fx am  pitch 2  volume 8  voice robot  monitor on"}}},
        Script{"ChangeEndsTheBypass",
               {{"voice robot", Robot},
                {"bypass", "fx none  pitch 2  volume 8  bypass  voice robot  monitor off"},
                {"on pitch", "fx pitch  pitch 2  volume 8  voice robot (changed)  monitor off"},
                {"bypass", "fx none  pitch 2  volume 8  bypass  voice robot (changed)  monitor off"},
                {"bypass", "fx pitch  pitch 2  volume 8  voice robot (changed)  monitor off"}}},
        Script{"NextAndPreviousGoRound",
               {{"next", "fx pitch,triangle,am  pitch 2  volume 8  voice alien  monitor off"},
                {"previous", Robot},
                {"previous", "fx crazy,deeper  pitch 2  volume 8  voice monster  monitor off"},
                {"voice robot", Robot},
                {"next", "fx pitch,triangle,am  pitch 2  volume 8  voice alien  monitor off"}}},
        // The refused voice is where the next step starts, so it can be passed.
        Script{"RefusedVoiceKeepsTheOneInForce",
               {{"voice backwards", "fx reverse  pitch 2  volume 8  voice backwards  monitor off"},
                {"next", "error: " "CONFIG/voxotrope/voices/broken.voice:2: unknown setting 'louder' (fx, pitch, volume, carrier)"},
                {"status", "fx reverse  pitch 2  volume 8  voice broken (changed)  monitor off"},
                {"next", "fx pitch  pitch 3  volume 8  voice chipmunk  monitor off"},
                {"voice nobody", "error: no voice 'nobody' (voices: CONFIG/voxotrope/voices, and the built-in ones --voices lists)"},
                {"voice ../x", "error: '../x' is not a voice name (letters, digits, '-', '_' and '.')"}}},
        Script{"ToggleAndValues",
               {{"toggle am,pitch", "fx pitch,am  pitch 2  volume 8  monitor off"},
                {"toggle pitch", "fx am  pitch 2  volume 8  monitor off"},
                {"toggle", "error: toggle: empty effect name in ''"},
                {"monitor maybe", "error: monitor on or monitor off"},
                {"pitch 1 2", "error: one value per command: 'pitch 1 2'"},
                {"voices", "voices alien backwards broken chipmunk fuzz giant megaphone monster robot"},
                {"voice giant", "fx volume,deeper  pitch 2  volume 12  voice giant  monitor off"},
                {"voices", "voices alien backwards broken chipmunk fuzz *giant megaphone monster robot"}}}),
    [](const testing::TestParamInfo<Script>& info) { return info.param.name; });

// A restart in the middle of a bypass comes back bypassed, and the next
// bypass still brings the voice back.
TEST_F(LiveFolder, SavedSettingsKeepTheBypass)
{
    Run("voice giant");
    Run("monitor on");
    Run("bypass");
    LiveSession restarted;
    SessionFromRecord(SessionRecord(session), &restarted);
    EXPECT_EQ(DescribeSession(restarted), "fx none  pitch 2  volume 12  bypass  voice giant  monitor on");
    session = restarted;
    EXPECT_EQ(Run("bypass"), "fx volume,deeper  pitch 2  volume 12  voice giant  monitor on");
}

// A carrier is read on the command; a refused one leaves the one in force.
TEST_F(LiveFolder, CarrierIsReadOrRefused)
{
    std::ofstream(root / "text.wav") << "no sound";
    fs::path before = fs::current_path();
    fs::current_path(root);  // a relative path is the instance's folder's
    CommandResult result;
    RunCommand(&session, "carrier text.wav", &result);
    fs::current_path(before);
    EXPECT_EQ(result.answer, "error: " + (root / "text.wav").string() + ": Not a wave file !");
    EXPECT_EQ(result.carrierSamples, nullptr);
    std::ofstream(root / "config/voxotrope/voices/hum.voice") << "fx am\ncarrier ../../../text.wav\n";
    RunCommand(&session, "voice hum", &result);
    EXPECT_EQ(result.answer, "error: " + (root / "config/voxotrope/voices/hum.voice").string() + ":2: carrier " +
                                 (root / "config/voxotrope/voices/../../../text.wav").string() + ": Not a wave file !");
    EXPECT_EQ(DescribeSession(session), "fx none  pitch 2  volume 8  monitor off");
}

// The socket serves on a loop of its own while a thread sends, as --send.
class ControlSocket : public LiveFolder {
protected:
    static void SetUpTestSuite() { pw_init(nullptr, nullptr); }
    void SetUp() override
    {
        LiveFolder::SetUp();
        loop = pw_loop_new(nullptr);
    }
    void TearDown() override
    {
        pw_loop_destroy(loop);
        LiveFolder::TearDown();
    }
    // Sends on a thread while the loop serves here.
    std::pair<SendOutcome, std::string> Send(const std::string& line)
    {
        auto sent = std::async(std::launch::async, [line] {
            std::string answer, error;
            SendOutcome outcome = SendCommand(line, &answer, &error);
            return std::make_pair(outcome, outcome == SendAnswered ? answer : error);
        });
        pw_loop_enter(loop);
        while (sent.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
            pw_loop_iterate(loop, 10);
        pw_loop_leave(loop);
        return sent.get();
    }
    pw_loop* loop = nullptr;
};

TEST_F(ControlSocket, OneInstanceAnswersItsUser)
{
    ClaimOutcome claim;
    std::string error;
    ControlServer* server = OpenControlServer(loop, [](const std::string& line) { return "got " + line; }, &claim,
                                              &error);
    ASSERT_EQ(claim, ClaimTaken) << error;
    EXPECT_EQ(Send("voice robot"), std::make_pair(SendAnswered, std::string("got voice robot")));
    EXPECT_EQ(Send(std::string(5000, 'x')), std::make_pair(SendAnswered, std::string("error: the command is too long")));
    EXPECT_EQ(fs::status(root / "run/voxotrope").permissions(), fs::perms::owner_all);

    ClaimOutcome second;
    EXPECT_EQ(OpenControlServer(loop, [](const std::string&) { return ""; }, &second, &error), nullptr);
    EXPECT_EQ(second, ClaimRunning);
    EXPECT_EQ(error, "another voxotrope-live runs already (process " + std::to_string(getpid()) +
                         "): change it with --send");
    CloseControlServer(server);
    EXPECT_EQ(Send("status").first, SendNoInstance);
}

// What a killed instance leaves, its socket file, is no instance, and the
// next one takes its place.
TEST_F(ControlSocket, LeftSocketIsNoInstance)
{
    fs::create_directory(root / "run/voxotrope");
    fs::permissions(root / "run/voxotrope", fs::perms::owner_all);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::string path = (root / "run/voxotrope/live.sock").string();
    path.copy(address.sun_path, path.size());
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(fd);
    EXPECT_EQ(Send("status"), std::make_pair(SendNoInstance, std::string("no voxotrope-live is running (start it, or voxotrope-live --enable)")));
    ClaimOutcome claim;
    std::string error;
    ControlServer* server = OpenControlServer(loop, [](const std::string&) { return "here"; }, &claim, &error);
    ASSERT_EQ(claim, ClaimTaken) << error;
    EXPECT_EQ(Send("status").second, "here");
    CloseControlServer(server);
}

TEST_F(ControlSocket, SharedFolderIsRefused)
{
    fs::create_directory(root / "run/voxotrope");
    fs::permissions(root / "run/voxotrope", fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    ClaimOutcome claim;
    std::string error;
    EXPECT_EQ(OpenControlServer(loop, [](const std::string&) { return ""; }, &claim, &error), nullptr);
    EXPECT_EQ(claim, ClaimFailed);
    EXPECT_EQ(error, (root / "run/voxotrope").string() + " is not a folder for this user alone");
}

}  // namespace
