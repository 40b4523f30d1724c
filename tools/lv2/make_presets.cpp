// Writes the plugin's factory presets from the factory voices, read by the
// same code that reads them for voxotrope-live and the renderer, so that a
// preset and its voice cannot differ:
//
//   voxotrope-presets MANIFEST.ttl BUNDLE
//
// BUNDLE/presets.ttl gets one preset per voice; BUNDLE/manifest.ttl is
// MANIFEST.ttl with the presets listed, as hosts find them there.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include "chain_settings.h"
#include "voice_file.h"
#include "voice_library.h"

constexpr const char* Plugin = "<urn:voxotrope:lv2>";
constexpr const char* Prefixes =
    "@prefix lv2:  <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n";

// A preset's first lines: what it is and what it is for.
static std::string Subject(const char* name)
{
    std::string lines = "\n<urn:voxotrope:voice:";
    lines += name;
    lines += ">\n\ta pset:Preset ;\n\tlv2:appliesTo ";
    lines += Plugin;
    lines += " ;\n";
    return lines;
}

// The voice file's first comment line, which says what a person hears.
static std::string Comment(const char* text)
{
    std::string line = std::string(text).substr(0, std::string(text).find('\n'));
    return line.rfind("# ", 0) == 0 ? line.substr(2) : "";
}

// Turtle's short string: no quote, backslash or line break inside.
static std::string Quoted(const std::string& text)
{
    std::string quoted = "\"";
    for (char c : text)
        if (c != '"' && c != '\\' && c != '\n' && c != '\r')
            quoted += c;
    quoted += '"';
    return quoted;
}

static void AddPortValue(std::string* turtle, const char* symbol, int value, const char* end)
{
    *turtle += "[ lv2:symbol \"";
    *turtle += symbol;
    *turtle += "\" ; pset:value ";
    *turtle += std::to_string(value);
    *turtle += ".0 ]";
    *turtle += end;
}

static bool Preset(const FactoryVoice& voice, std::string* turtle, std::string* error)
{
    SettingsRecord record{};
    record.voice.settings = StartSettings();
    if (!ParseSettingsText(voice.text, std::string(voice.name) + ".voice", VoiceSettings, &record, error))
        return false;
    if (!record.voice.carrier.empty()) {
        *error = std::string(voice.name) + ".voice: a factory voice cannot name a carrier file";
        return false;
    }
    const ChainSettings& settings = record.voice.settings;
    *turtle += Subject(voice.name);
    *turtle += "\trdfs:label ";
    *turtle += Quoted(voice.name);
    std::string comment = Comment(voice.text);
    if (!comment.empty()) {
        *turtle += " ;\n\trdfs:comment ";
        *turtle += Quoted(comment);
    }
    *turtle += " ;\n\tlv2:port ";
    for (int fx = 0; fx < EffectCount; fx++)
        AddPortValue(turtle, EffectNames[fx], settings.effects[fx] ? 1 : 0, " ,\n\t\t");
    AddPortValue(turtle, "pitch_factor", settings.pitch, " ,\n\t\t");
    AddPortValue(turtle, "volume_eighths", settings.volume, " .\n");
    return true;
}

static bool Write(const std::string& path, const std::string& text)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (file << text && file.flush())
        return true;
    fprintf(stderr, "voxotrope-presets: cannot write %s\n", path.c_str());
    return false;
}

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: voxotrope-presets MANIFEST.ttl BUNDLE\n");
        return 2;
    }
    std::ifstream base(argv[1], std::ios::binary);
    std::ostringstream read;
    if (!base || !(read << base.rdbuf())) {
        fprintf(stderr, "voxotrope-presets: cannot read %s\n", argv[1]);
        return 1;
    }
    std::string manifest = read.str(), presets = Prefixes, error;
    manifest += "\n@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n";
    for (int i = 0; i < FactoryVoiceCount; i++) {
        if (!Preset(FactoryVoices[i], &presets, &error)) {
            fprintf(stderr, "voxotrope-presets: %s\n", error.c_str());
            return 1;
        }
        manifest += Subject(FactoryVoices[i].name);
        manifest += "\trdfs:seeAlso <presets.ttl> .\n";
    }
    std::string bundle = argv[2];
    return Write(bundle + "/presets.ttl", presets) && Write(bundle + "/manifest.ttl", manifest) ? 0 : 1;
}
