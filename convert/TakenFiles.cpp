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
    ++m_paths[file.resolvedPath];
    if (file.inode)
        ++m_inodes[*file.inode];
}

void TakenFiles::remove(const FileIdentity &file)
{
    release(m_paths, file.resolvedPath);
    if (file.inode)
        release(m_inodes, *file.inode);
}

void TakenFiles::clear()
{
    m_paths.clear();
    m_inodes.clear();
}

bool TakenFiles::contains(const FileIdentity &candidate) const
{
    return m_paths.contains(candidate.resolvedPath) ||
           (candidate.inode && m_inodes.contains(*candidate.inode));
}
