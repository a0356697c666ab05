#pragma once

#include "convert/FileIdentity.h"

#include <QString>

#include <functional>
#include <string>

// The output file of an input: `outputDirectory`, "/Quellix转码-", the input's base name and
// `extension`. A name that is taken (or names a taken file through a link) gets " (2)", " (3)", …
// before the extension; a base name too long for the folder is cut after a whole character so
// that the whole name fits.
std::string composeOutputPath(const std::string &outputDirectory, const std::string &baseName,
                              const std::string &extension,
                              const std::function<bool(const FileIdentity &)> &isTaken);

// The hidden name a conversion writes to until it is done: `outputDirectory`,
// "/.quellix-", `token`, "-", the base name, ".part" and `extension`. The container's extension
// stays last so that the transcoder still picks the container from the name. A base name too long
// for the folder is cut as above.
std::string composeTempOutputPath(const std::string &outputDirectory, const std::string &baseName,
                                  const std::string &extension, const std::string &token);

// True for a name that composeTempOutputPath() makes with an eight-digit hexadecimal token.
bool isTempOutputName(const QString &fileName);
