#pragma once

#include <QString>
#include <functional>

// Whether a file lies on a disk of this machine or on a network file system (NFS, SMB/CIFS, a FUSE
// mount such as sshfs, ...), where SQLite's write-ahead log is unsafe: its shared-memory index
// assumes every connection runs on one machine, and such file systems do not keep locks faithfully.
namespace filesystem {

enum class Kind { Local, Network };

struct Info {
    Kind kind = Kind::Local;
    QString name; // "nfs", "cifs", "fuse", "remota"...; empty on a local disk
};

// The file system holding `path` (an existing file or folder); a path that cannot be asked counts
// as local.
Info of(const QString &path);

// Replaces the probe (tests); an empty function restores the real one.
void setProbe(std::function<Info(const QString &)> probe);

} // namespace filesystem
