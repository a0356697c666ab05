// The transcoder command line of a profile. The text form quotes the two paths for display and for
// platforms that take one command line; the list form is what the process runner passes on, so no
// character of a path is ever split or interpreted.
#include "params/AVParams.h"
#include "params/ParamTables.h"

namespace
{

bool usesQualityFactor(int32_t cv)
{
    return cv == 2 || cv == 3;
}

struct Option {
    std::string flag;
    std::string value;
};

// The options between the input and the output, in command-line order. An empty flag marks the
// video rate slot when it holds nothing: the text form still keeps its separating space there.
std::vector<Option> encodingOptions(const AVSettings &s)
{
    std::vector<Option> options;
    if (const auto size = lookupText(resolutions, s.r))
        options.push_back({"-s", *size});

    if (usesQualityFactor(s.cv) && s.crf != -1)
        options.push_back({"-crf", std::to_string(s.crf)});
    else if (s.bv != -1)
        options.push_back({"-b:v", std::to_string(s.bv) + "k"});
    else
        options.push_back({});

    if (s.fps != -1)
        options.push_back({"-r", std::to_string(s.fps)});
    if (const auto encoder = lookupText(videoEncoders, s.cv))
        options.push_back({"-c:v", *encoder});
    if (s.ar != -1)
        options.push_back({"-ar", std::to_string(s.ar)});
    if (s.ba != -1)
        options.push_back({"-b:a", std::to_string(s.ba) + "k"});
    if (const auto encoder = lookupText(audioEncoders, s.ca))
        options.push_back({"-c:a", *encoder});
    return options;
}

} // namespace

std::string AVParams::buildCommandLine() const
{
    std::string line = exe + " " + opts + " -i \"" + input + "\" ";
    for (const Option &option : encodingOptions(settings)) {
        if (!option.flag.empty())
            line += option.flag + " " + option.value;
        line += " ";
    }
    line += "\"" + output + "\"";
    return line;
}

std::vector<std::string> AVParams::commandArguments() const
{
    std::vector<std::string> args = {exe, opts, "-i", input};
    for (const Option &option : encodingOptions(settings)) {
        if (option.flag.empty())
            continue;
        args.push_back(option.flag);
        args.push_back(option.value);
    }
    args.push_back(output);
    return args;
}
