// The transcoder command line of a profile. The text form quotes the two paths for display and for
// platforms that take one command line; the list form is what the process runner passes on, so no
// character of a path is ever split or interpreted.
#include "params/AVParams.h"
#include "params/ParamTables.h"

#include <algorithm>
#include <cctype>

namespace
{

bool usesQualityFactor(int32_t cv)
{
    return cv == 2 || cv == 3;
}

std::string lowerExtension(const std::string &path)
{
    const size_t dot = path.find_last_of("./");
    std::string ext = dot == std::string::npos || path[dot] != '.' ? "" : path.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return ext;
}

using Option = std::pair<std::string, std::string>;

// Whatever the source, an encoded picture is 4:2:0 in 8 bits with an even width and height, which
// every encoder offered takes and every player plays; odd sizes are rounded down by one pixel.
// HEVC gets the tag that Apple's players need in MP4, and the one that names it at all in AVI.
void addPlayableVideoOptions(std::vector<Option> &options,
                             const std::optional<std::string> &encoder, const std::string &output)
{
    if (encoder == std::string("copy"))
        return;
    options.push_back({"-vf", "scale=trunc(iw/2)*2:trunc(ih/2)*2"});
    options.push_back({"-pix_fmt", "yuv420p"});
    if (encoder != std::string("libx265"))
        return;
    const std::string ext = lowerExtension(output);
    if (ext == ".mp4")
        options.push_back({"-tag:v", "hvc1"});
    else if (ext == ".avi")
        options.push_back({"-tag:v", "HEVC"});
}

// The options between the input and the output, in command-line order. An empty flag marks the
// video rate slot when it holds nothing: the text form still keeps its separating space there.
std::vector<Option> encodingOptions(const AVSettings &s, const std::string &output)
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
    const std::optional<std::string> videoEncoder = lookupText(videoEncoders, s.cv);
    if (videoEncoder)
        options.push_back({"-c:v", *videoEncoder});
    addPlayableVideoOptions(options, videoEncoder, output);
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
    for (const auto &[flag, value] : encodingOptions(settings, output)) {
        if (!flag.empty())
            line.append(flag).append(" ").append(value);
        line += " ";
    }
    line += "\"" + output + "\"";
    return line;
}

std::vector<std::string> AVParams::commandArguments() const
{
    std::vector<std::string> args = {exe, opts, "-i", input};
    for (const auto &[flag, value] : encodingOptions(settings, output)) {
        if (flag.empty())
            continue;
        args.push_back(flag);
        args.push_back(value);
    }
    args.push_back(output);
    return args;
}
