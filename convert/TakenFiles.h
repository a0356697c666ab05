#pragma once

#include "convert/FileIdentity.h"

#include <QHash>

// Files that an output must not land on, each counted as often as it was added: the same file
// may be the input of one job and the output of another.
class TakenFiles final
{
public:
    void add(const FileIdentity &file);
    // Takes back one add() of the same file.
    void remove(const FileIdentity &file);
    void clear();
    bool contains(const FileIdentity &candidate) const;

private:
    QHash<QString, int> m_paths;
    QHash<FileIdentity::Inode, int> m_inodes;
};
