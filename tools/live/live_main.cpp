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
#include "carrier_read.h"
#include "live_audio.h"
#include "live_chain.h"
#include "live_control.h"
#include "live_terminal.h"
#include "render_options.h"

static const char Usage[] =
    "Usage: voxotrope-live [--fx LIST] [--pitch N] [--volume N] [--carrier FILE]\n"
    "                      [--source NAME]\n"
    "Records the default microphone (and follows it when the default changes),\n"
    "runs it through Voxotrope's effect chain and offers the result to every\n"
    "program as the microphone \"Voxotrope microphone\". The microphone is open\n"
    "only while a program records \"Voxotrope microphone\". Needs PipeWire.\n"
    "\n"
    "  --fx LIST       effects to switch on, separated by commas, in any order:\n"
    "                  pitch, volume, triangle, am, reverse, crazy, deeper.\n"
    "                  They always run in that order. Default: none, the voice\n"
    "                  passes unchanged.\n"
    "  --pitch N       pitch factor, 1 to 3 (default 2); needs pitch in --fx\n"
    "  --volume N      gain in eighths, 8 to 52: 8 leaves the level, 20 is 2.5\n"
    "                  times (default 8); needs volume in --fx\n"
    "  --carrier FILE  AM carrier instead of the built-in square wave: a WAV file,\n"
    "                  PCM mono 22050 Hz 16 bit with the 44-byte header; needs am\n"
    "                  in --fx\n"
    "  --source NAME   record this source (its node name, as `pactl list short\n"
    "                  sources` lists it) instead of the default microphone\n"
    "  --help          show this help and exit\n"
    "  --version       show the version and exit\n"
    "\n"
    "In a terminal, keys change the settings while it runs and a status line\n"
    "shows them:\n"
    "  p v t a r c d   switch pitch, volume, triangle, am, reverse, crazy, deeper\n"
    "  1 2 3           pitch factor      + -   volume by one eighth\n"
    "  0               all effects off   q     quit (as Ctrl-C)\n"
    "When standard input is not a terminal it reads one command per line and\n"
    "answers each with one line on standard output, the settings now in force\n"
    "(\"fx pitch,volume  pitch 3  volume 20\") or \"error: ...\":\n"
    "  fx LIST | fx none   exactly these effects on\n"
    "  on LIST | off LIST  switch these on or off\n"
    "  pitch N | volume N  as the options\n"
    "  carrier FILE        a new AM carrier, checked as --carrier\n"
    "  source NAME | source  record this source, or the default microphone\n"
    "  status | quit\n"
    "\n"
    "The sound comes out one block (4000 samples, 181 ms) after it went in; the\n"
    "source reports that on top of the microphone's latency.\n"
    "Exit status: 0 when stopped by q, quit, SIGINT or SIGTERM; 2 for a bad\n"
    "option or carrier; 1 when there is no sound server or no microphone, or\n"
    "the server goes away. Each error is one line on stderr.\n";

struct LiveApp {
    pw_main_loop* loop;
    LiveAudio* audio;
    LiveMailbox mailbox;
    LiveSettings settings;
    bool terminal;        // standard input is a terminal
    bool keys;            // and ours now: keys, a status line
    KeyFilter filter;
    std::string pending;  // a command line not yet complete
    spa_source* input;
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
        printf("\r\033[K%s", DescribeSettings(app->settings).c_str());
    else
        printf("%s\n", DescribeSettings(app->settings).c_str());
    fflush(stdout);
}

static void Quit(LiveApp* app)
{
    if (app->audio)
        StopLiveAudio(app->audio);
    else
        pw_main_loop_quit(app->loop);
}

// Reads and checks the file here, on the main loop; the audio thread only
// attaches the block.
static bool LoadCarrier(LiveApp* app, const char* path, std::string* error)
{
    const int16_t* samples = nullptr;
    uint32_t length = 0;
    CarrierVerdict verdict = path ? ReadCarrierFile(path, &samples, &length)
                                  : MakeDefaultCarrier(&samples, &length) ? CarrierAccepted : CarrierNoMemory;
    if (verdict != CarrierAccepted) {
        *error = (path ? std::string(path) + ": " : std::string()) + CarrierMessage(verdict);
        return false;
    }
    PostCarrier(&app->mailbox, samples, length);
    return true;
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
        ControlOutcome outcome;
        std::string error;
        if (app->terminal) {
            if (!PlainKey(&app->filter, static_cast<unsigned char>(bytes[i])))
                continue;
            outcome = ControlKey(bytes[i], &app->settings);
            if (bytes[i] == 'h' || bytes[i] == '?')
                printf("\r\033[K%s", KeyHelp);
        } else if (bytes[i] != '\n') {
            app->pending += bytes[i];
            continue;
        } else if (app->pending.rfind("carrier ", 0) == 0) {
            outcome = LoadCarrier(app, app->pending.substr(8).c_str(), &error) ? ControlUnchanged : ControlError;
            app->pending.clear();
        } else if (app->pending == "source" || app->pending.rfind("source ", 0) == 0) {
            std::string name = app->pending.size() > 7 ? app->pending.substr(7) : "";
            outcome = ChooseLiveSource(app->audio, name, &error) ? ControlUnchanged : ControlError;
            app->pending.clear();
        } else {
            outcome = ControlLine(app->pending, &app->settings, &error);
            app->pending.clear();
        }
        if (outcome == ControlQuit) {
            Quit(app);
            return;
        }
        if (outcome == ControlChanged)
            PostSettings(&app->mailbox, app->settings);
        if (outcome == ControlError) {
            printf("error: %s\n", error.c_str());
            fflush(stdout);
        } else if (!app->terminal || outcome == ControlChanged || bytes[i] == 'h' || bytes[i] == '?') {
            ShowStatus(app);
        }
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

int main(int argc, char** argv)
{
    RenderOptions options;
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
    case ParseError:
        return Refuse(2, error);
    case ParseRun:
        break;
    }
    if (!SettingsMatchEffects(options, &error))
        return Refuse(2, error);
    static LiveApp app;
    if (!LoadCarrier(&app, options.carrier, &error))
        return Refuse(2, error);
    static ChainInstance start;
    InitChainInstance(&start);
    for (int fx = 0; fx < EffectCount; fx++)
        app.settings.effects[fx] = options.effects[fx];
    app.settings.pitch = options.pitchGiven ? options.pitch : start.pitchFactor;
    app.settings.volume = options.volumeGiven ? options.volume : start.volumeEighths;
    PostSettings(&app.mailbox, app.settings);

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
    app.audio = OpenLiveAudio(app.loop, &app.mailbox, source, &error);
    int status = 0;
    if (!app.audio) {
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
    pw_main_loop_destroy(app.loop);
    pw_deinit();
    PostCarrier(&app.mailbox, nullptr, 0);  // frees one never taken
    FreeReturnedCarriers(&app.mailbox);
    delete app.mailbox.offered.exchange(nullptr);
    return status;
}
