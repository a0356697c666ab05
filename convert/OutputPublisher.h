#pragma once

#include "convert/FileIdentity.h"

#include <functional>
#include <string>

class LeftoverOutputs;

// A conversion's output under a hidden temporary name in the output folder until the run is
// done, then flushed to disk and renamed to its final name, never over a file that is there. Each
// temporary name is recorded before its file is made, so that a killed run's leftover can be
// removed later (LeftoverOutputs).
class OutputPublisher final
{
public:
    // Results: the temporary file is missing; it could not be flushed to disk; it could not be
    // renamed (for example the folder is not writable); the record could not be written.
    static constexpr int tempMissing = -202;
    static constexpr int syncFailed = -205;
    static constexpr int renameFailed = -206;
    static constexpr int recordFailed = -207;

    // Eight hexadecimal digits; random unless a test gives its own.
    using TokenSource = std::function<std::string()>;
    // Runs between choosing a final name and renaming onto it, where another program may take
    // the name; a test makes the name appear there.
    using NameChosen = std::function<void(const std::string &finalPath)>;

    explicit OutputPublisher(LeftoverOutputs &record, TokenSource tokens = TokenSource());

    // The publisher every conversion of this user uses, recording in the state folder.
    static OutputPublisher &forThisUser();
    LeftoverOutputs &record() const { return m_record; }

    // Makes an empty file under a fresh temporary name, recorded first: 0 with `tempPath` set,
    // recordFailed, or renameFailed when the folder takes no file. Two calls never share a name,
    // in this process or in another, as the file is made exclusively.
    int createTemp(const std::string &outputDirectory, const std::string &baseName,
                   const std::string &extension, std::string &tempPath);
    // Flushes the temporary file and renames it to composeOutputPath()'s name, skipping names
    // that `isTaken` counts or that exist on disk, also when one appears during the rename:
    // 0 with `finalPath` set, tempMissing, syncFailed or renameFailed (the temporary file then
    // stays where it is, still recorded). While source dates are kept, the file first takes the
    // modification and access times of `sourcePath`. The published name leaves the record with
    // its next change (LeftoverOutputs::forgetLater).
    int publish(const std::string &tempPath, const std::string &outputDirectory,
                const std::string &baseName, const std::string &extension,
                const std::function<bool(const FileIdentity &)> &isTaken, std::string &finalPath,
                const std::string &sourcePath = std::string());
    // Whether a published file is dated like its source rather than now; off unless set.
    void setKeepSourceDates(bool keep) { m_keepSourceDates = keep; }
    bool keepsSourceDates() const { return m_keepSourceDates; }
    // Removes the temporary file of a cancelled or failed run and forgets it: 0 or recordFailed.
    int discard(const std::string &tempPath);
    void setNameChosen(NameChosen hook) { m_nameChosen = std::move(hook); }

private:
    LeftoverOutputs &m_record;
    TokenSource m_tokens;
    bool m_keepSourceDates = false;
    NameChosen m_nameChosen;
};
