#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

// The fixed vocabulary of encoding choices: each choice is stored as a small key, the tables give
// it a display text, a transcoder name or a file extension.
using ParamTable = std::map<int, std::string>;

extern ParamTable containerTexts;
extern ParamTable containerExts;
extern ParamTable videoCodecTexts;
extern ParamTable videoEncoders;
extern ParamTable audioCodecTexts;
extern ParamTable audioEncoders;
extern ParamTable resolutions;
extern ParamTable inputExts;
extern ParamTable qualityTexts;

// The entry the settings dialog adds to its numeric combos for "option left off" (-1).
extern const char *const defaultEntryText;

// Literal lists offered by the settings dialog, in their display order.
extern const std::vector<int> crfValues; // H.264 and H.265
extern const std::vector<int> av1CrfValues;
extern const std::vector<int> vp9CrfValues;
extern const std::vector<int> videoBitRates;
extern const std::vector<int> frameRates;
extern const std::vector<int> audioBitRates;
extern const std::vector<int> opusBitRates;
extern const std::vector<int> sampleRates;

// The rate factors the settings dialog offers for a video codec key; each holds its levels'.
const std::vector<int> &crfChoices(int cv);
// The audio bit rates it offers for an audio codec key.
const std::vector<int> &audioBitRateChoices(int ca);

// The codecs a container offers in the settings dialog, as keys of videoCodecTexts and
// audioCodecTexts in the order the dialog lists them; null for a key that is no container.
struct ContainerCodecs {
    std::vector<int> video;
    std::vector<int> audio;
};
const ContainerCodecs *offeredCodecs(int vc);

// Fills every empty table; a table that already holds entries is left alone.
void initParamTables();

std::optional<std::string> lookupText(const ParamTable &table, int key);
std::optional<int> findKey(const ParamTable &table, const std::string &text);

// True when the extension (with its dot, any case) is one of inputExts.
bool isInputExtension(const std::string &dotSuffix);
// The open-file dialog's filter: every accepted type together, each one alone, then all files.
std::string inputFileFilter();
// The media types of the accepted extensions, each once, in the order of inputExts.
std::vector<std::string> inputMimeTypes();
// The same as the menu entry's line, "MimeType=video/mp4;...;".
std::string desktopMimeTypeLine();
