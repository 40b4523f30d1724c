// voxotrope-live: the default microphone through the effect chain, offered
// to every program as the source "Voxotrope microphone".
#include <pipewire/pipewire.h>
#include <unistd.h>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include "carrier.h"
#include "chain_options.h"
#include "live_audio.h"
#include "live_chain.h"
#include "live_control.h"
#include "live_service.h"
#include "live_session.h"
#include "live_socket.h"
#include "live_terminal.h"
#include "voice_library.h"

static const char Usage[] =
    "Usage: voxotrope-live [--fx LIST] [--pitch N] [--volume N] [--carrier FILE]\n"
    "                      [--source NAME]\n"
    "       voxotrope-live --voice NAME [--source NAME]\n"
    "       voxotrope-live --send COMMAND | --enable | --disable | --voices\n"
    "Records the default microphone (and follows it when the default changes),\n"
    "runs it through Voxotrope's effect chain and offers the result to every\n"
    "program as the microphone \"Voxotrope microphone\". The microphone is open\n"
    "only while a program records \"Voxotrope microphone\" or the monitor plays.\n"
    "Needs PipeWire.\n"
    "\n" CHAIN_OPTIONS_HELP
    "  --source NAME   record this source (its node name, as `pactl list short\n"
    "                  sources` lists it) instead of the default microphone\n"
    "  --send COMMAND  hand one command (below) to the running voxotrope-live and\n"
    "                  print its answer; for the desktop's keyboard shortcuts\n"
    "  --enable        start it now and at every login (the systemd user unit\n"
    "                  voxotrope-live.service); --disable undoes that\n"
    "  --help          show this help and exit\n"
    "  --version       show the version and exit\n"
    "\n"
    "Without options it starts with the settings in force when it last ended,\n"
    "kept in ~/.local/state/voxotrope/live.state; options replace them. Voices\n"
    "are the built-in ones and the files ~/.config/voxotrope/voices/NAME.voice,\n"
    "which win over a built-in voice of the same name.\n"
    "\n"
    "In a terminal, keys change the settings while it runs and a status line\n"
    "shows them:\n"
    "  p v t a r c d   switch pitch, volume, triangle, am, reverse, crazy, deeper\n"
    "  1 2 3           pitch factor      + -   volume by one eighth\n"
    "  > <             next, previous voice\n"
    "  b               bypass            m     monitor on or off\n"
    "  0               all effects off   q     quit (as Ctrl-C)\n"
    "When standard input is not a terminal it reads one command per line and\n"
    "answers each with one line on standard output, the settings now in force\n"
    "(\"fx pitch,volume  pitch 3  volume 20  voice chipmunk  monitor off\") or\n"
    "\"error: ...\". The same commands come through --send:\n"
    "  fx LIST | fx none   exactly these effects on\n"
    "  on LIST | off LIST  switch these on or off\n"
    "  toggle LIST         switch each of these over\n"
    "  pitch N | volume N  as the options\n"
    "  carrier FILE        a new AM carrier, checked as --carrier\n"
    "  voice NAME          a voice's settings       voices   list the voices\n"
    "  next | previous     the next or previous voice, by name\n"
    "  bypass              everything off; the next bypass brings it back\n"
    "  monitor on|off      play the changed voice on the default output too\n"
    "  source NAME | source  record this source, or the default microphone\n"
    "  status | quit\n"
    "\n"
    "The sound comes out one block (4000 samples, 181 ms) after it went in; the\n"
    "source reports that on top of the microphone's latency.\n"
    "Exit status: 0 when stopped by q, quit, SIGINT or SIGTERM, or when --send's\n"
    "command was done; 2 for a bad option, voice or carrier, or a command that\n"
    "was refused; 3 when another voxotrope-live runs already; 1 when there is\n"
    "no sound server, no microphone or no running instance to --send to, or the\n"
    "server goes away. Each error is one line on stderr.\n";

struct LiveApp {
    pw_main_loop* loop;
    LiveAudio* audio;
    LiveMailbox mailbox;
    LiveSession session;
    bool terminal;        // standard input is a terminal
    bool keys;            // and ours now: keys, a status line
    KeyFilter filter;
    std::string pending;  // a command line not yet complete
    spa_source* input;
    ControlServer* control;
    bool saveFailed;      // told once
};

static int Refuse(int status, const std::string& line)
{
    fprintf(stderr, "voxotrope-live: %s\n", line.c_str());
    return status;
}

static void ShowStatus(LiveApp* app)
{
    if (app->terminal && !app->keys)
        return;
    if (app->terminal)
        printf("\r\033[K%s", DescribeSession(app->session).c_str());
    else
        printf("%s\n", DescribeSession(app->session).c_str());
    fflush(stdout);
}

static void Quit(LiveApp* app)
{
    if (app->audio)
        StopLiveAudio(app->audio);
    else
        pw_main_loop_quit(app->loop);
}

// Written at every change, so that a restart, a crash or a power cut finds
// the settings last in force.
static void SaveSession(LiveApp* app)
{
    std::string error;
    bool saved = WriteFileWhole(SavedSettingsPath(), FormatSettings(SessionRecord(app->session), SavedSettings), &error);
    if (!saved && !app->saveFailed)
        fprintf(stderr, "\r\033[Kvoxotrope-live: the settings are not kept: %s\n", error.c_str());
    app->saveFailed = !saved;
}

// What a command changed goes to the audio thread and into the saved
// settings; the carrier was read and checked here, on the main loop.
static void Apply(LiveApp* app, CommandResult* result)
{
    if (result->carrierSamples)
        PostCarrier(&app->mailbox, result->carrierSamples, result->carrierLength);
    if (result->settingsChanged)
        PostSettings(&app->mailbox, app->session.settings);
    if (result->monitorChanged && app->audio)
        SwitchLiveAudioMonitor(app->audio, app->session.monitor);
    if (result->saveNeeded)
        SaveSession(app);
    if (result->quit)
        Quit(app);
}

// A command line from standard input or the control socket. Choosing the
// source takes the audio, which the session knows nothing of.
static void RunLine(LiveApp* app, const std::string& line, CommandResult* result)
{
    if (line != "source" && line.rfind("source ", 0) != 0) {
        RunCommand(&app->session, line, result);
        return;
    }
    std::string error;
    if (ChooseLiveSource(app->audio, line.size() > 7 ? line.substr(7) : "", &error))
        result->answer = DescribeSession(app->session);
    else
        result->answer = "error: " + error;
}

// A command from the control socket, shown in the terminal as the keys are.
static std::string OnCommand(LiveApp* app, const std::string& line)
{
    FreeReturnedCarriers(&app->mailbox);
    CommandResult result{};
    RunLine(app, line, &result);
    Apply(app, &result);
    if (app->terminal && !result.quit)
        ShowStatus(app);
    return result.answer;
}

// Keys that stand for a command of their own.
static const char* KeyCommand(char key, const LiveSession& session)
{
    switch (key) {
    case 'b': return "bypass";
    case '>': return "next";
    case '<': return "previous";
    case 'm': return session.monitor ? "monitor off" : "monitor on";
    default: return nullptr;
    }
}

static void OnInput(void* data, int fd, uint32_t mask)
{
    LiveApp* app = static_cast<LiveApp*>(data);
    FreeReturnedCarriers(&app->mailbox);
    char bytes[256];
    ssize_t got = (mask & SPA_IO_IN) ? read(fd, bytes, sizeof bytes) : 0;
    if (got <= 0) {
        // End of a script's input: it may still stop us with a signal.
        pw_loop_destroy_source(pw_main_loop_get_loop(app->loop), app->input);
        app->input = nullptr;
        return;
    }
    for (ssize_t i = 0; i < got; i++) {
        CommandResult result{};
        if (app->terminal && !PlainKey(&app->filter, static_cast<unsigned char>(bytes[i]))) {
            continue;
        } else if (app->terminal && KeyCommand(bytes[i], app->session)) {
            RunCommand(&app->session, KeyCommand(bytes[i], app->session), &result);
        } else if (app->terminal) {
            LiveSettings settings = app->session.settings;
            ControlOutcome outcome = ControlKey(bytes[i], &settings);
            if (bytes[i] == 'h' || bytes[i] == '?')
                printf("\r\033[K%s", KeyHelp);
            result.quit = outcome == ControlQuit;
            if (outcome == ControlChanged) {
                EditSettings(&app->session, settings);
                result.settingsChanged = result.saveNeeded = true;
            } else if (outcome == ControlUnchanged && bytes[i] != 'h' && bytes[i] != '?') {
                continue;
            }
        } else if (bytes[i] != '\n') {
            app->pending += bytes[i];
            continue;
        } else {
            RunLine(app, app->pending, &result);
            app->pending.clear();
        }
        Apply(app, &result);
        if (result.quit)
            return;
        if (app->terminal && result.answer.rfind("error: ", 0) == 0)
            printf("\r\033[K%s\n", result.answer.c_str());
        else if (!app->terminal)
            printf("%s\n", result.answer.c_str());
        if (app->terminal)
            ShowStatus(app);
        fflush(stdout);
    }
}

static void OnSignal(void* data, int)
{
    Quit(static_cast<LiveApp*>(data));
}

static void WatchInput(LiveApp* app, bool watch)
{
    pw_loop* loop = pw_main_loop_get_loop(app->loop);
    if (watch && !app->input)
        app->input = pw_loop_add_io(loop, STDIN_FILENO, SPA_IO_IN | SPA_IO_HUP, false, OnInput, app);
    else if (!watch && app->input)
        pw_loop_destroy_source(loop, std::exchange(app->input, nullptr));
}

// Keys without Enter and without echo, in the foreground only: in the
// background, setting the terminal or reading it would stop the process.
// Ctrl-C still interrupts.
static void FollowForeground(LiveApp* app)
{
    bool keys = TakeTerminal(STDIN_FILENO);
    if (keys && !app->keys) {
        fputs(KeyHelp, stdout);
    } else if (!keys && app->keys) {
        ReleaseTerminal();
    }
    app->keys = keys;
    WatchInput(app, keys);
    ShowStatus(app);
}

static void StartControls(LiveApp* app)
{
    app->terminal = isatty(STDIN_FILENO);
    if (app->terminal)
        FollowForeground(app);
    else
        WatchInput(app, true);
}

// fg and bg send SIGCONT.
static void OnContinue(void* data, int)
{
    LiveApp* app = static_cast<LiveApp*>(data);
    if (app->terminal)
        FollowForeground(app);
}

static void StopControls(LiveApp* app)
{
    if (app->keys) {
        ReleaseTerminal();
        putchar('\n');
        fflush(stdout);
    }
}

// --source NAME (or --source=NAME) is taken out before the chain's options
// are read; an empty name is refused.
static bool TakeSourceOption(int* argc, char** argv, const char** source, std::string* error)
{
    for (int i = 1; i < *argc; i++) {
        int used = 0;
        if (strcmp(argv[i], "--source") == 0) {
            used = 2;
            *source = i + 1 < *argc ? argv[i + 1] : "";
        } else if (strncmp(argv[i], "--source=", 9) == 0) {
            used = 1;
            *source = argv[i] + 9;
        } else if (strcmp(argv[i], "--") == 0) {
            break;
        }
        if (used == 0)
            continue;
        if (**source == '\0') {
            *error = "--source needs the name of a source";
            return false;
        }
        for (int k = i; k + used <= *argc; k++)
            argv[k] = argv[k + used];
        *argc -= used;
        i--;
    }
    return true;
}

// --send COMMAND: one line to the running instance, its answer on stdout.
static int Send(const std::string& command)
{
    if (command.find('\n') != std::string::npos)
        return Refuse(2, "--send takes one command, on one line");
    std::string line = command, answer, error;
    // The instance runs elsewhere: a carrier's path is made whole here.
    char folder[4096];
    if (line.rfind("carrier ", 0) == 0 && line.size() > 8 && line[8] != '/' && getcwd(folder, sizeof folder))
        line = "carrier " + std::string(folder) + "/" + line.substr(8);
    switch (SendCommand(line, &answer, &error)) {
    case SendAnswered:
        printf("%s\n", answer.c_str());
        return answer.rfind("error: ", 0) == 0 ? 2 : 0;
    case SendNoInstance:
        return Refuse(1, error);
    default:
        return Refuse(1, error);
    }
}

// Options of their own that do one thing and end; -1 when none was given.
static int OneShot(int argc, char** argv)
{
    if (argc < 2)
        return -1;
    std::string option = argv[1];
    if (option.rfind("--send=", 0) == 0 && argc == 2)
        return Send(option.substr(7));
    if (option == "--send")
        return argc == 3 ? Send(argv[2]) : Refuse(2, "--send takes one command (see --help)");
    if (option == "--enable" || option == "--disable")
        return argc == 2 ? EnableService(option == "--enable") : Refuse(2, option + " takes nothing else");
    for (int i = 2; i < argc; i++)
        if (!strncmp(argv[i], "--send", 6) || !strcmp(argv[i], "--enable") || !strcmp(argv[i], "--disable"))
            return Refuse(2, std::string(argv[i]) + " comes alone (see --help)");
    return -1;
}

// The session to start with: the options' settings, else those in force
// when it last ended. The monitor always comes from the saved settings.
static bool StartSession(LiveApp* app, const ChainOptions& options, std::string* error)
{
    SettingsRecord saved{};
    saved.voice.settings = StartSettings();
    std::string why, path = SavedSettingsPath();
    if (access(path.c_str(), F_OK) == 0 && !ReadSettingsFile(path, SavedSettings, &saved, &why)) {
        fprintf(stderr, "voxotrope-live: %s; starting with every effect off\n", why.c_str());
        saved = SettingsRecord{};
        saved.voice.settings = StartSettings();
    }
    SessionFromRecord(saved, &app->session);
    Voice voice = saved.voice;
    if (ChainOptionsGiven(options)) {
        voice = OptionsVoice(options);
        if (options.voice && !LoadVoice(options.voice, &voice, error))
            return false;
        bool monitor = app->session.monitor;
        InitLiveSession(&app->session);
        app->session.settings = voice.settings;
        app->session.carrier = voice.carrier;
        app->session.voiceName = options.voice ? options.voice : "";
        app->session.monitor = monitor;
    }
    const int16_t* samples = nullptr;
    uint32_t length = 0;
    if (!ReadSessionCarrier(Voice{voice.settings, app->session.carrier, voice.carrierWhere}, &samples, &length,
                            error)) {
        if (ChainOptionsGiven(options))
            return false;
        // A carrier file gone since: the square wave, rather than no microphone.
        fprintf(stderr, "voxotrope-live: %s; AM takes its square wave\n", error->c_str());
        app->session.carrier.clear();
        if (!ReadSessionCarrier(Voice{}, &samples, &length, error))
            return false;
    }
    PostCarrier(&app->mailbox, samples, length);
    PostSettings(&app->mailbox, app->session.settings);
    return true;
}

int main(int argc, char** argv)
{
    int done = OneShot(argc, argv);
    if (done >= 0)
        return done;
    ChainOptions options;
    std::string error;
    const char* source = nullptr;
    if (!TakeSourceOption(&argc, argv, &source, &error))
        return Refuse(2, error);
    int operandCount = 0;
    switch (ParseChainArguments(argc, argv, &options, nullptr, 0, "", &operandCount, &error)) {
    case ParseHelp:
        fputs(Usage, stdout);
        return 0;
    case ParseVersion:
        printf("voxotrope-live %s\n", VOXOTROPE_VERSION);
        return 0;
    case ParseListVoices:
        fputs(VoiceListing().c_str(), stdout);
        return 0;
    case ParseError:
        return Refuse(2, error);
    case ParseRun:
        break;
    }
    if (!CheckChainOptions(options, &error))
        return Refuse(2, error);
    static LiveApp app;
    if (!StartSession(&app, options, &error))
        return Refuse(2, error);

    // A reader of the answers that goes away costs the answers, not the
    // microphone.
    signal(SIGPIPE, SIG_IGN);
    pw_init(&argc, &argv);
    app.loop = pw_main_loop_new(nullptr);
    pw_loop* loop = pw_main_loop_get_loop(app.loop);
    pw_loop_add_signal(loop, SIGINT, OnSignal, &app);
    pw_loop_add_signal(loop, SIGTERM, OnSignal, &app);
    // A closed terminal ends it as Ctrl-C does, unless started by nohup.
    struct sigaction hangup;
    if (sigaction(SIGHUP, nullptr, &hangup) == 0 && hangup.sa_handler != SIG_IGN)
        pw_loop_add_signal(loop, SIGHUP, OnSignal, &app);
    pw_loop_add_signal(loop, SIGCONT, OnContinue, &app);
    ClaimOutcome claim;
    app.control =
        OpenControlServer(loop, [](const std::string& line) { return OnCommand(&app, line); }, &claim, &error);
    int status = 0;
    if (claim == ClaimRunning) {
        status = Refuse(3, error);
    } else {
        if (claim == ClaimFailed)
            fprintf(stderr, "voxotrope-live: --send cannot reach this instance: %s\n", error.c_str());
        if (ChainOptionsGiven(options))
            SaveSession(&app);
        app.audio = OpenLiveAudio(app.loop, &app.mailbox, source, app.session.monitor, &error);
    }
    if (claim == ClaimRunning) {
    } else if (!app.audio) {
        status = Refuse(1, error);
    } else {
        StartControls(&app);
        pw_main_loop_run(app.loop);
        StopControls(&app);
        switch (LiveAudioEnd(app.audio)) {
        case LiveNoMicrophone:
            status = Refuse(1, std::string("no microphone: ") + LiveAudioFailure(app.audio));
            break;
        case LiveServerGone:
            status = Refuse(1, "the sound server went away");
            break;
        case LiveStreamFailed:
            status = Refuse(1, std::string("the sound server stopped ") + LiveAudioFailure(app.audio));
            break;
        default:
            break;
        }
        if (uint64_t shortfall = LiveAudioShortfall(app.audio))
            fprintf(stderr, "voxotrope-live: %llu samples found no room in the source's buffers and were dropped\n",
                    static_cast<unsigned long long>(shortfall));
        CloseLiveAudio(app.audio);
    }
    if (app.control)
        CloseControlServer(app.control);
    pw_main_loop_destroy(app.loop);
    pw_deinit();
    PostCarrier(&app.mailbox, nullptr, 0);  // frees one never taken
    FreeReturnedCarriers(&app.mailbox);
    delete app.mailbox.offered.exchange(nullptr);
    return status;
}
