#include "params/AVParams.h"

void AVParams::init(const AVSettings &newSettings)
{
    exe = transcoderProgram;
    opts = "-y";
    settings = newSettings;
    source.reset();
}
