// The exception of the ZIP archive reader: the archive's path and a cause number. Thrown by
// CUnzipFile and by the package extraction on any inconsistency of the archive; any thread.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// Reader codes: the zlib codes (-6 .. 2) plus the archive's own.
enum : int {
    kZipParamError = -102,  // entry operation without a current or an open entry
    kZipBadZipFile = -103,  // not an archive, multi-disk, inconsistent or unsafe content
    kZipCrcError = -105,    // a completely read entry does not match its CRC-32
};

class CZipException : public std::runtime_error {
  public:
    enum Cause : int32_t {
        kGeneric = 1,
        kStreamEnd = 2,
        kNeedDict = 3,
        kErrno = 4,
        kStreamError = 5,
        kDataError = 6,
        kMemError = 7,
        kBufError = 8,
        kVersionError = 9,
        kBadFuncParam = 10,
        kBadZipFile = 11,
        kBadCrc = 12,
    };

    CZipException(int32_t cause, std::wstring path);

    // The cause number of a reader code (-102, -103, -105 or a zlib code).
    static int32_t CauseOf(int code);

    std::wstring m_path;  // the archive; empty when it was not open
    int32_t m_cause;
};

// Throws a CZipException for a reader code.
[[noreturn]] void ThrowZipError(int code, const std::wstring& archivePath);
