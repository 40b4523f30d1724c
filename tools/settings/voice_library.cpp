#include "voice_library.h"
#include <dirent.h>
#include <pwd.h>
#include <unistd.h>
#include <algorithm>
#include <cstdlib>

constexpr const char* VoiceSuffix = ".voice";

static std::string Home()
{
    const char* home = getenv("HOME");
    if (home && *home)
        return home;
    const passwd* user = getpwuid(getuid());
    return user && user->pw_dir ? user->pw_dir : "/";
}

// The base folder an XDG variable names; relative paths count as unset.
static std::string BaseFolder(const char* variable, const char* fallback)
{
    const char* value = getenv(variable);
    if (value && value[0] == '/')
        return value;
    return Home() + "/" + fallback;
}

std::string ConfigFolder()
{
    return BaseFolder("XDG_CONFIG_HOME", ".config") + "/voxotrope";
}

std::string VoicesFolder()
{
    return ConfigFolder() + "/voices";
}

std::string StateFolder()
{
    return BaseFolder("XDG_STATE_HOME", ".local/state") + "/voxotrope";
}

std::string RuntimeFolder()
{
    const char* value = getenv("XDG_RUNTIME_DIR");
    return value && value[0] == '/' ? std::string(value) + "/voxotrope" : std::string();
}

bool VoiceNameAllowed(const std::string& name)
{
    if (name.empty() || name.size() > 64 || name[0] == '.')
        return false;
    for (char c : name)
        if (!(c >= 'a' && c <= 'z') && !(c >= 'A' && c <= 'Z') && !(c >= '0' && c <= '9') && c != '-' && c != '_' &&
            c != '.')
            return false;
    return true;
}

std::vector<VoiceEntry> ListVoices()
{
    std::vector<VoiceEntry> voices;
    std::string folder = VoicesFolder();
    if (DIR* listing = opendir(folder.c_str())) {
        while (const dirent* item = readdir(listing)) {
            std::string file = item->d_name;
            size_t suffix = file.size() > 6 ? file.size() - 6 : 0;
            if (suffix && file.compare(suffix, std::string::npos, VoiceSuffix) == 0 &&
                VoiceNameAllowed(file.substr(0, suffix)))
                voices.push_back({file.substr(0, suffix), folder + "/" + file, nullptr});
        }
        closedir(listing);
    }
    for (int i = 0; i < FactoryVoiceCount; i++) {
        bool hidden = std::any_of(voices.begin(), voices.end(),
                                  [&](const VoiceEntry& voice) { return voice.name == FactoryVoices[i].name; });
        if (!hidden)
            voices.push_back({FactoryVoices[i].name, "", FactoryVoices[i].text});
    }
    std::sort(voices.begin(), voices.end(), [](const VoiceEntry& a, const VoiceEntry& b) { return a.name < b.name; });
    return voices;
}

bool LoadVoice(const std::string& name, Voice* voice, std::string* error)
{
    if (!VoiceNameAllowed(name)) {
        *error = "'" + name + "' is not a voice name (letters, digits, '-', '_' and '.')";
        return false;
    }
    for (const VoiceEntry& entry : ListVoices()) {
        if (entry.name != name)
            continue;
        SettingsRecord record{};
        record.voice.settings = StartSettings();
        bool read = entry.factoryText
                        ? ParseSettingsText(entry.factoryText, name + VoiceSuffix, VoiceSettings, &record, error)
                        : ReadSettingsFile(entry.path, VoiceSettings, &record, error);
        if (read)
            *voice = record.voice;
        return read;
    }
    *error = "no voice '" + name + "' (voices: " + VoicesFolder() + ", and the built-in ones --voices lists)";
    return false;
}

std::string VoiceListing()
{
    std::string text;
    for (const VoiceEntry& entry : ListVoices()) {
        Voice voice;
        std::string error, line = entry.name;
        line.resize(std::max<size_t>(line.size() + 2, 12), ' ');
        if (!LoadVoice(entry.name, &voice, &error)) {
            text += line + "refused: " + error + "\n";
            continue;
        }
        line += DescribeSettings(voice.settings);
        if (!voice.carrier.empty())
            line += "  carrier " + voice.carrier;
        text += line + (entry.factoryText ? "  (built in)\n" : "  (" + entry.path + ")\n");
    }
    return text;
}
