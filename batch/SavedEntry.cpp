#include "batch/SavedEntry.h"

bool SavedEntry::operator==(const SavedEntry &other) const
{
    return inputPath == other.inputPath && settings == other.settings && state == other.state &&
           errorText == other.errorText && note == other.note;
}

SavedEntry SavedEntry::restored() const
{
    if (state != Converting)
        return *this;
    SavedEntry entry = *this;
    entry.state = Waiting;
    entry.errorText.clear();
    entry.note.clear();
    return entry;
}
