// Symbolic links, junctions and mount points: the places a recursive delete must not descend
// into. Any thread; file-system queries only (CreateFolderLink creates one link).
#pragma once

#include <string>

namespace platform {

// True when another file system or volume is mounted at folder. A link is not a mount point
// here (links are recognised by their kAttrReparsePoint attribute). On Windows a mounted volume
// folder is a reparse point already; only a volume's root answers true.
bool IsMountPoint(const std::wstring& folder);

// The path as the system names the file it leads to: absolute, every link followed, long names
// (the form in which the process snapshot reports a running program). The path as given when it
// cannot be resolved.
std::wstring CanonicalPath(const std::wstring& path);

// Creates a symbolic link named link that points to the folder target. False with LastError
// when it cannot (on Windows an unprivileged user may lack the right to create links).
bool CreateFolderLink(const std::wstring& link, const std::wstring& target);

}  // namespace platform
