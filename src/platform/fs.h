// Files and folders for the whole system: paths, existence, copies, attributes, times, folder
// listings and a file object that throws FileException like the framework's file class.
//
// Both backends report errors in the Windows numbering (2 file not found, 3 path not found,
// 5 access denied, 32 sharing violation, 80/183 exists, 112 disk full, ...), so that messages and
// log lines read the same on every target. The Linux backend resolves a path whose exact spelling
// does not exist by comparing each component without regard to case, as the Windows file system
// does; see fs_posix.cpp for what has no Linux equivalent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <stdexcept>
#include <string>
#include <vector>

namespace platform {

#if defined(_WIN32)
inline constexpr wchar_t kPathSep = L'\\';
inline constexpr const wchar_t* kPathSepStr = L"\\";
#else
inline constexpr wchar_t kPathSep = L'/';
inline constexpr const wchar_t* kPathSepStr = L"/";
#endif

// True for both separators: ZIP names and Windows paths may carry either.
inline bool IsPathSep(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// Windows error numbering, used on both targets.
enum : uint32_t {
    kErrorSuccess = 0,
    kErrorInvalidFunction = 1,
    kErrorFileNotFound = 2,
    kErrorPathNotFound = 3,
    kErrorAccessDenied = 5,
    kErrorNotEnoughMemory = 8,
    kErrorWriteFault = 29,
    kErrorReadFault = 30,
    kErrorSharingViolation = 32,
    kErrorHandleEof = 38,
    kErrorFileExists = 80,
    kErrorInvalidParameter = 87,
    kErrorDiskFull = 112,
    kErrorInvalidName = 123,
    kErrorDirNotEmpty = 145,
    kErrorAlreadyExists = 183,
    kErrorFilenameTooLong = 206,
    kErrorDirectory = 267,
};

// File attributes in the Windows numbering. On Linux read-only is the owner's write permission,
// hidden is a leading dot (reported, not settable), directory and reparse point (symbolic link)
// come from the file type; the other bits are accepted and ignored.
enum : uint32_t {
    kAttrReadOnly = 0x1,
    kAttrHidden = 0x2,
    kAttrSystem = 0x4,
    kAttrDirectory = 0x10,
    kAttrArchive = 0x20,
    kAttrNormal = 0x80,
    kAttrReparsePoint = 0x400,
    kInvalidAttributes = 0xFFFFFFFF,
};

// Error of the calling thread's last failed file operation of this layer, Windows numbering.
uint32_t LastError();
void SetLastError(uint32_t error);

// The user's temporary folder, ending with a separator (GetTempPathW; $TMPDIR or /tmp on Linux).
std::wstring TempFolder();
// Full path of the running executable, long-name form.
std::wstring ModulePath();
// The long-name form of an existing path (GetLongPathNameW); the path as given when it has none.
// On Linux, the resolved spelling.
std::wstring LongPath(const std::wstring& path);
// The folder of a path up to and including its last separator; the whole path without one.
std::wstring FolderOf(const std::wstring& path);

// The path as it exists on disk: on Linux each component that does not exist as spelled is
// matched without regard to case; components that match nothing are kept. Identity on Windows.
std::wstring ResolvePath(const std::wstring& path);

// Anything (file, folder, link) exists under path (_waccess mode 0).
bool Exists(const std::wstring& path);
bool IsFolder(const std::wstring& path);
// Creates one folder level. False (with LastError) when it exists or its parent is missing.
bool CreateFolder(const std::wstring& path);
// Removes an empty folder, or a link to a folder (the link only).
bool RemoveFolder(const std::wstring& path);
// Deletes a file or a symbolic link (never what it points to).
bool RemoveFile(const std::wstring& path);
// Copies a file, replacing an existing target (CopyFileW, fail-if-exists false).
bool CopyFileOver(const std::wstring& source, const std::wstring& target);
// Moves a file within one volume, replacing an existing target in one step (MoveFileExW with
// MOVEFILE_REPLACE_EXISTING; rename on Linux). Like Windows, refuses a read-only target or a
// folder in its place.
bool MoveFileOver(const std::wstring& source, const std::wstring& target);
uint32_t GetAttributes(const std::wstring& path);
bool SetAttributes(const std::wstring& path, uint32_t attributes);
// Sets the three times of a file (seconds since 1970, UTC). Linux has no creation time: that
// value is ignored there.
bool SetFileTimes(const std::wstring& path, std::time_t created, std::time_t accessed,
                  std::time_t written);
// Last-write time, seconds since 1970; -1 when it cannot be read.
std::time_t GetWriteTime(const std::wstring& path);
// Size of a file in bytes; -1 when it cannot be read.
int64_t GetFileSize(const std::wstring& path);

struct DirEntry {
    std::wstring name;
    uint32_t attributes = 0;  // kAttrDirectory for folders, kAttrReparsePoint for links
    bool IsFolder() const { return (attributes & kAttrDirectory) != 0; }
    bool IsLink() const { return (attributes & kAttrReparsePoint) != 0; }
};
// The entries of a folder in enumeration order, without "." and "..". Empty (with LastError)
// when the folder cannot be listed. A link to a folder is listed as a folder with the reparse bit.
std::vector<DirEntry> ListFolder(const std::wstring& folder);

// Creates a new empty file with a unique name "<prefix><hex>.tmp" in folder, as GetTempFileNameW
// with unique number 0 does. Empty on failure.
std::wstring CreateTempFile(const std::wstring& folder, const std::wstring& prefix);

// Error of a file operation: the system error (Windows numbering) and the path.
class FileException : public std::runtime_error {
  public:
    FileException(uint32_t error, std::wstring path);
    uint32_t m_error;
    std::wstring m_path;
};

// A file handle that throws FileException on every failure, like the framework's file class.
class File {
  public:
    enum class Mode {
        kRead,             // read only, others may read but not write (share deny write)
        kCreateWrite,      // create or truncate, write only, no sharing
        kReadWriteAlways,  // read and write, created when missing, content kept, no sharing
    };
    enum class Origin { kBegin, kCurrent, kEnd };

    File() = default;
    File(const std::wstring& path, Mode mode);  // throws FileException
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens without throwing; false with LastError on failure.
    bool TryOpen(const std::wstring& path, Mode mode);
    bool IsOpen() const;
    const std::wstring& Path() const { return m_path; }
    // Reads up to size bytes; answers how many were read (0 at the end).
    size_t Read(void* buffer, size_t size);
    // Writes all size bytes or throws.
    void Write(const void* buffer, size_t size);
    uint64_t Seek(int64_t offset, Origin origin);
    uint64_t Length();
    void Close();  // throws when the final flush fails
    // Closes without throwing; used on error paths.
    void Abort() noexcept;

  private:
#if defined(_WIN32)
    void* m_handle = reinterpret_cast<void*>(-1);
#else
    int m_fd = -1;
#endif
    std::wstring m_path;
};

}  // namespace platform
