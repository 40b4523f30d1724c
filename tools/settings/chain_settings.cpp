#include "chain_settings.h"
#include <cstdlib>
#include <cstring>
#include <strings.h>

const char* const EffectNames[EffectCount] = {
    "pitch", "volume", "triangle", "am", "reverse", "crazy", "deeper",
};

ChainSettings StartSettings()
{
    ChainSettings settings{};
    settings.pitch = 2;
    settings.volume = 8;
    return settings;
}

bool SameSettings(const ChainSettings& a, const ChainSettings& b)
{
    for (int fx = 0; fx < EffectCount; fx++)
        if (!a.effects[fx] != !b.effects[fx])
            return false;
    return a.pitch == b.pitch && a.volume == b.volume;
}

static bool Fail(std::string* error, const std::string& line)
{
    *error = line;
    return false;
}

bool AddEffects(const char* what, const char* list, int effects[EffectCount], std::string* error)
{
    const char* item = list;
    for (;;) {
        size_t length = strcspn(item, ",");
        if (length == 0)
            return Fail(error, std::string(what) + ": empty effect name in '" + list + "'");
        int found = -1;
        for (int fx = 0; fx < EffectCount; fx++)
            if (strlen(EffectNames[fx]) == length && strncasecmp(item, EffectNames[fx], length) == 0)
                found = fx;
        if (found < 0)
            return Fail(error, std::string(what) + ": unknown effect '" + std::string(item, length) +
                                   "' (pitch, volume, triangle, am, reverse, crazy, deeper)");
        effects[found] = 1;
        if (item[length] == '\0')
            return true;
        item += length + 1;
    }
}

bool ParseWholeNumber(const char* what, const char* text, int32_t lowest, int32_t highest, int32_t* value,
                      std::string* error)
{
    char* end = nullptr;
    long number = strtol(text, &end, 10);
    bool digits = text[0] >= '0' && text[0] <= '9' && *end == '\0';
    if (!digits || number < lowest || number > highest)
        return Fail(error, std::string(what) + ": '" + text + "' is not a whole number from " +
                               std::to_string(lowest) + " to " + std::to_string(highest));
    *value = static_cast<int32_t>(number);
    return true;
}

std::string EffectList(const ChainSettings& settings)
{
    std::string list;
    for (int fx = 0; fx < EffectCount; fx++)
        if (settings.effects[fx]) {
            if (!list.empty())
                list += ',';
            list += EffectNames[fx];
        }
    return list.empty() ? "none" : list;
}

std::string DescribeSettings(const ChainSettings& settings)
{
    std::string line = "fx " + EffectList(settings);
    line += "  pitch ";
    line += std::to_string(settings.pitch);
    line += "  volume ";
    line += std::to_string(settings.volume);
    return line;
}

std::string CarrierRefusal(const Voice& voice, const char* why)
{
    std::string line = voice.carrier + ": " + why;
    return voice.carrierWhere.empty() ? line : voice.carrierWhere + ": carrier " + line;
}
