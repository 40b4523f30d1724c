#include "voice_file.h"
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

// A voice is a few lines; anything this large is not one.
constexpr long LargestFile = 64 * 1024;

static std::string Trimmed(const std::string& text)
{
    size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// "~/x" from the home folder, "x" from the file's own folder.
static std::string CarrierPath(const std::string& value, const std::string& file)
{
    if (value[0] == '/')
        return value;
    const char* home = getenv("HOME");
    if (value.rfind("~/", 0) == 0 && home && *home)
        return std::string(home) + value.substr(1);
    size_t slash = file.rfind('/');
    return slash == std::string::npos ? value : file.substr(0, slash + 1) + value;
}

static bool OnOff(const std::string& key, const std::string& value, const char* yes, const char* no, bool* flag,
                  std::string* error)
{
    if (value != yes && value != no) {
        *error = key + ": '" + value + "' is neither " + yes + " nor " + no;
        return false;
    }
    *flag = value == yes;
    return true;
}

// One line's setting into *record; false with the reason in *error.
static bool ParseLine(const std::string& key, const std::string& value, const std::string& path, int number,
                      SettingsKind kind, SettingsRecord* record, std::string* error)
{
    ChainSettings& settings = record->voice.settings;
    if (key == "fx") {
        for (int& flag : settings.effects)
            flag = 0;
        return value.empty() || value == "none" || AddEffects("fx", value.c_str(), settings.effects, error);
    }
    if (key == "pitch")
        return ParseWholeNumber("pitch", value.c_str(), PitchLowest, PitchHighest, &settings.pitch, error);
    if (key == "volume")
        return ParseWholeNumber("volume", value.c_str(), VolumeLowest, VolumeHighest, &settings.volume, error);
    if (key == "carrier") {
        if (value.empty()) {
            *error = "carrier needs a file name";
            return false;
        }
        record->voice.carrier = CarrierPath(value, path);
        record->voice.carrierWhere = path + ":" + std::to_string(number);
        return true;
    }
    if (kind == SavedSettings) {
        if (key == "voice") {
            record->voiceName = value;
            return true;
        }
        if (key == "edited")
            return OnOff(key, value, "yes", "no", &record->edited, error);
        if (key == "bypass")
            return OnOff(key, value, "on", "off", &record->bypass, error);
        if (key == "monitor")
            return OnOff(key, value, "on", "off", &record->monitor, error);
    }
    *error = "unknown setting '" + key + "' (fx, pitch, volume, carrier" +
             (kind == SavedSettings ? ", voice, edited, bypass, monitor)" : ")");
    return false;
}

bool ParseSettingsText(const std::string& text, const std::string& path, SettingsKind kind, SettingsRecord* record,
                       std::string* error)
{
    SettingsRecord read = *record;
    std::istringstream lines(text);
    std::string line, seen = " ";
    for (int number = 1; std::getline(lines, line); number++) {
        line = Trimmed(line);
        if (line.empty() || line[0] == '#')
            continue;
        size_t gap = line.find_first_of(" \t");
        std::string key = line.substr(0, gap);
        std::string value = gap == std::string::npos ? "" : Trimmed(line.substr(gap));
        std::string why;
        if (line.find('\0') != std::string::npos)
            why = "a zero byte: not a text file";
        else if (seen.find(" " + key + " ") != std::string::npos)
            why = key + " is given twice";
        else
            ParseLine(key, value, path, number, kind, &read, &why);
        if (!why.empty()) {
            *error = path + ":" + std::to_string(number) + ": " + why;
            return false;
        }
        seen += key + " ";
    }
    *record = read;
    return true;
}

bool ReadSettingsFile(const std::string& path, SettingsKind kind, SettingsRecord* record, std::string* error)
{
    errno = 0;
    std::ifstream file(path, std::ios::binary);
    struct stat info;
    if (!file || stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        *error = path + ": cannot be read" + (errno ? std::string(" (") + strerror(errno) + ")" : "");
        return false;
    }
    if (info.st_size > LargestFile) {
        *error = path + ": too large for a voice (" + std::to_string(info.st_size) + " bytes)";
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    return ParseSettingsText(text.str(), path, kind, record, error);
}

std::string FormatSettings(const SettingsRecord& record, SettingsKind kind)
{
    const ChainSettings& settings = record.voice.settings;
    std::string lines = "fx " + EffectList(settings) + "\npitch " + std::to_string(settings.pitch) + "\nvolume " +
                        std::to_string(settings.volume) + "\n";
    if (!record.voice.carrier.empty())
        lines += "carrier " + record.voice.carrier + "\n";
    if (kind == SavedSettings) {
        if (!record.voiceName.empty())
            lines += "voice " + record.voiceName + "\nedited " + (record.edited ? "yes" : "no") + "\n";
        lines += std::string("bypass ") + (record.bypass ? "on" : "off") + "\n";
        lines += std::string("monitor ") + (record.monitor ? "on" : "off") + "\n";
    }
    return lines;
}

static bool MakeFolders(const std::string& path)
{
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        std::string folder = path.substr(0, slash);
        if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

bool WriteFileWhole(const std::string& path, const std::string& text, std::string* error)
{
    errno = 0;
    std::string temporary = path + ".XXXXXX";
    int fd = MakeFolders(path) ? mkstemp(temporary.data()) : -1;
    bool written = fd >= 0;
    for (size_t done = 0; written && done < text.size();) {
        ssize_t step = write(fd, text.data() + done, text.size() - done);
        if (step < 0 && errno == EINTR)
            continue;
        written = step > 0;
        done += written ? static_cast<size_t>(step) : 0;
    }
    written = written && fsync(fd) == 0;
    if (fd >= 0)
        written = close(fd) == 0 && written;
    written = written && rename(temporary.c_str(), path.c_str()) == 0;
    if (!written) {
        *error = "cannot write " + path + (errno ? std::string(": ") + strerror(errno) : "");
        if (fd >= 0)
            unlink(temporary.c_str());
        return false;
    }
    // The rename itself reaches the disk with its folder.
    size_t slash = path.rfind('/');
    int folder = open(slash == std::string::npos ? "." : path.substr(0, slash + 1).c_str(), O_RDONLY | O_DIRECTORY);
    if (folder >= 0) {
        fsync(folder);
        close(folder);
    }
    return true;
}
