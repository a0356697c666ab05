#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// A file as the file system knows it: its path with symbolic links followed and, while it exists,
// its device and inode, which name it under every hard link too.
struct FileIdentity {
    struct Inode {
        uint64_t device = 0;
        uint64_t inode = 0;
        bool operator==(const Inode &other) const
        {
            return device == other.device && inode == other.inode;
        }
    };

    QString resolvedPath;
    std::optional<Inode> inode;

    // Links are followed as far as the file or, for a file not made yet, its folder exists.
    static FileIdentity of(const QString &path);
    bool sameFileAs(const FileIdentity &other) const;
};

uint qHash(const FileIdentity::Inode &inode, uint seed = 0);
