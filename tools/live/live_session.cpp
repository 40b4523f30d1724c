#include "live_session.h"
#include <unistd.h>
#include <sstream>
#include <vector>
#include "carrier.h"
#include "carrier_read.h"
#include "live_control.h"
#include "voice_library.h"

void InitLiveSession(LiveSession* session)
{
    *session = LiveSession{};
    session->settings = StartSettings();
    session->beforeBypass.settings = StartSettings();
}

bool ReadSessionCarrier(const Voice& voice, const int16_t** samples, uint32_t* length, std::string* error)
{
    *samples = nullptr;
    if (voice.carrier.empty()) {
        if (MakeDefaultCarrier(samples, length))
            return true;
        *error = CarrierMessage(CarrierNoMemory);
        return false;
    }
    CarrierVerdict verdict = ReadCarrierFile(voice.carrier.c_str(), samples, length);
    if (verdict == CarrierAccepted)
        return true;
    *error = CarrierRefusal(voice, CarrierMessage(verdict));
    return false;
}

// Kept in the saved settings, so that a restart elsewhere finds it.
static std::string AbsolutePath(const std::string& path)
{
    char folder[4096];
    if (path.empty() || path[0] == '/' || !getcwd(folder, sizeof folder))
        return path;
    return std::string(folder) + "/" + path;
}

// A change of what the chain runs ends a bypass: its settings are dropped.
static void EndBypass(LiveSession* session)
{
    session->bypass = false;
}

void EditSettings(LiveSession* session, const ChainSettings& settings)
{
    EndBypass(session);
    session->settings = settings;
    session->edited = true;
}

// The voice in force from now on, its carrier read first: a carrier that
// is refused leaves everything as it was.
static bool ChooseVoice(LiveSession* session, const std::string& name, CommandResult* result, std::string* error)
{
    Voice voice;
    if (!LoadVoice(name, &voice, error))
        return false;
    if (voice.carrier != session->carrier &&
        !ReadSessionCarrier(voice, &result->carrierSamples, &result->carrierLength, error))
        return false;
    EndBypass(session);
    session->settings = voice.settings;
    session->carrier = voice.carrier;
    session->voiceName = name;
    session->edited = false;
    result->settingsChanged = true;
    return true;
}

// The voice `step` places from the one chosen last, round the list; from a
// voice no longer there, the one that takes its place in the order; from
// none, the first (next) or the last (previous). A voice whose file is
// refused is still where the next step starts, so that it can be passed.
static bool StepVoice(LiveSession* session, int step, CommandResult* result, std::string* error)
{
    std::vector<VoiceEntry> voices = ListVoices();
    const std::string& last = session->voiceName;
    int count = static_cast<int>(voices.size()), target = -1;
    if (count == 0) {
        *error = "no voices";
        return false;
    }
    for (int i = 0; i < count; i++)
        if (voices[i].name == last)
            target = (i + step + count) % count;
    for (int i = 0; target < 0 && step > 0 && i <= count; i++)
        if (i == count || voices[i].name > last)
            target = i % count;
    for (int i = count - 1; target < 0 && i >= -1; i--)
        if (i < 0 || (!last.empty() && voices[i].name < last))
            target = (i + count) % count;
    std::string name = voices[target].name;
    if (ChooseVoice(session, name, result, error))
        return true;
    session->voiceName = name;
    session->edited = true;
    result->saveNeeded = true;
    return false;
}

static std::string VoiceNames(const LiveSession& session)
{
    std::string line = "voices";
    for (const VoiceEntry& voice : ListVoices())
        line += (voice.name == session.voiceName && !session.edited ? " *" : " ") + voice.name;
    return line;
}

// The command's own work; false with *error for an answer "error: ...".
static bool Run(LiveSession* session, const std::string& command, const std::string& value, const std::string& line,
                CommandResult* result, std::string* error)
{
    if (command == "voice") {
        if (value.empty()) {
            *error = "voice needs a name (voices lists them)";
            return false;
        }
        return ChooseVoice(session, value, result, error);
    }
    if (command == "next" || command == "previous")
        return StepVoice(session, command == "next" ? 1 : -1, result, error);
    if (command == "bypass") {
        if (session->bypass) {
            session->settings = session->beforeBypass.settings;
            session->bypass = false;
        } else {
            session->beforeBypass.settings = session->settings;
            session->beforeBypass.carrier = session->carrier;
            for (int& flag : session->settings.effects)
                flag = 0;
            session->bypass = true;
        }
        result->settingsChanged = true;
        return true;
    }
    if (command == "monitor") {
        if (value != "on" && value != "off") {
            *error = "monitor on or monitor off";
            return false;
        }
        result->monitorChanged = session->monitor != (value == "on");
        result->saveNeeded = result->monitorChanged;
        session->monitor = value == "on";
        return true;
    }
    if (command == "carrier") {
        Voice voice{session->settings, AbsolutePath(value), ""};
        if (value.empty() || !ReadSessionCarrier(voice, &result->carrierSamples, &result->carrierLength, error)) {
            if (value.empty())
                *error = "carrier needs a file";
            return false;
        }
        EndBypass(session);
        session->carrier = voice.carrier;
        session->edited = true;
        result->saveNeeded = true;
        return true;
    }
    ChainSettings settings = session->settings;
    if (command == "toggle") {
        int named[EffectCount] = {};
        if (!AddEffects("toggle", value.c_str(), named, error))
            return false;
        for (int fx = 0; fx < EffectCount; fx++)
            settings.effects[fx] ^= named[fx] ? 1 : 0;
    } else {
        ControlOutcome outcome = ControlLine(line, &settings, error);
        if (outcome == ControlError)
            return false;
        result->quit = outcome == ControlQuit;
        if (outcome != ControlChanged)
            return true;
    }
    EditSettings(session, settings);
    result->settingsChanged = true;
    return true;
}

void RunCommand(LiveSession* session, const std::string& line, CommandResult* result)
{
    *result = CommandResult{};
    std::istringstream words(line);
    std::string command, value, error;
    words >> command;
    std::getline(words >> std::ws, value);
    if (command == "voices") {
        result->answer = VoiceNames(*session);
        return;
    }
    // A carrier's path may hold blanks; every other value is one word.
    bool done = command == "carrier" || value.find_first_of(" \t") == std::string::npos
                    ? Run(session, command, value, line, result, &error)
                    : (error = "one value per command: '" + line + "'", false);
    if (!done) {
        result->answer = "error: " + error;
        return;
    }
    result->saveNeeded |= result->settingsChanged;
    result->answer = DescribeSession(*session);
}

std::string DescribeSession(const LiveSession& session)
{
    std::string line = DescribeSettings(session.settings);
    if (!session.carrier.empty())
        line += "  carrier " + session.carrier;
    if (session.bypass)
        line += "  bypass";
    if (!session.voiceName.empty())
        line += "  voice " + session.voiceName + (session.edited ? " (changed)" : "");
    line += session.monitor ? "  monitor on" : "  monitor off";
    return line;
}

SettingsRecord SessionRecord(const LiveSession& session)
{
    SettingsRecord record{};
    record.voice = session.bypass ? session.beforeBypass : Voice{session.settings, session.carrier, ""};
    record.voiceName = session.voiceName;
    record.edited = session.edited;
    record.bypass = session.bypass;
    record.monitor = session.monitor;
    return record;
}

void SessionFromRecord(const SettingsRecord& record, LiveSession* session)
{
    InitLiveSession(session);
    session->settings = record.voice.settings;
    session->carrier = record.voice.carrier;
    session->voiceName = record.voiceName;
    session->edited = record.edited;
    session->monitor = record.monitor;
    if (record.bypass) {
        session->beforeBypass = Voice{record.voice.settings, record.voice.carrier, ""};
        for (int& flag : session->settings.effects)
            flag = 0;
        session->bypass = true;
    }
}

std::string SavedSettingsPath()
{
    return StateFolder() + "/live.state";
}
