#include "convert/TakenFiles.h"

namespace
{

template <typename Key> void release(QHash<Key, int> &counts, const Key &key)
{
    const auto it = counts.find(key);
    if (it != counts.end() && --it.value() <= 0)
        counts.erase(it);
}

} // namespace

void TakenFiles::add(const FileIdentity &file)
{
    ++paths[file.resolvedPath];
    if (file.inode)
        ++inodes[*file.inode];
}

void TakenFiles::remove(const FileIdentity &file)
{
    release(paths, file.resolvedPath);
    if (file.inode)
        release(inodes, *file.inode);
}

void TakenFiles::clear()
{
    paths.clear();
    inodes.clear();
}

bool TakenFiles::contains(const FileIdentity &candidate) const
{
    return paths.contains(candidate.resolvedPath) ||
           (candidate.inode && inodes.contains(*candidate.inode));
}
