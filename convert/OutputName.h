#pragma once

#include "convert/FileIdentity.h"

#include <functional>
#include <string>

// The output file of an input: `outputDirectory`, "/Quellix转码-", the input's base name and
// `extension`. A name that is taken (or names a taken file through a link) gets " (2)", " (3)", …
// before the extension; a base name too long for the folder is cut after a whole character so
// that the whole name fits.
std::string composeOutputPath(const std::string &outputDirectory, const std::string &baseName,
                              const std::string &extension,
                              const std::function<bool(const FileIdentity &)> &isTaken);
