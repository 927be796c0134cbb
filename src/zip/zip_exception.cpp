#include "zip/zip_exception.h"

#include <string>

namespace {

std::string Describe(int32_t cause) {
    return "ZIP archive error, cause " + std::to_string(cause);
}

}  // namespace

CZipException::CZipException(int32_t cause, std::wstring path)
    : std::runtime_error(Describe(cause)), m_path(std::move(path)), m_cause(cause) {}

int32_t CZipException::CauseOf(int code) {
    switch (code) {
        case kZipParamError:
            return kBadFuncParam;
        case kZipBadZipFile:
            return kBadZipFile;
        case kZipCrcError:
            return kBadCrc;
        case -1:
            return kErrno;
        case -2:
            return kStreamError;
        case -3:
            return kDataError;
        case -4:
            return kMemError;
        case -5:
            return kBufError;
        case -6:
            return kVersionError;
        case 1:
            return kStreamEnd;
        case 2:
            return kNeedDict;
        default:
            return kGeneric;
    }
}

void ThrowZipError(int code, const std::wstring& archivePath) {
    throw CZipException(CZipException::CauseOf(code), archivePath);
}
