#include "zip/zip_exception.h"

#include <gtest/gtest.h>

#include <zlib.h>

namespace {

// Several zlib codes cannot be provoked through an archive (file, version, memory errors), so
// the mapping of every code is checked here once.
TEST(ZipExceptionTest, EveryCodeHasItsCauseNumber) {
    struct Case {
        int code;
        int32_t cause;
    };
    const Case cases[] = {
        {kZipParamError, 10},
        {kZipBadZipFile, 11},
        {kZipCrcError, 12},
        {Z_ERRNO, 4},
        {Z_STREAM_ERROR, 5},
        {Z_DATA_ERROR, 6},
        {Z_MEM_ERROR, 7},
        {Z_BUF_ERROR, 8},
        {Z_VERSION_ERROR, 9},
        {Z_STREAM_END, 2},
        {Z_NEED_DICT, 3},
        {0, 1},
        {-7, 1},
        {-104, 1},
        {3, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(CZipException::CauseOf(c.code), c.cause);
        try {
            ThrowZipError(c.code, L"package.zip");
        } catch (const CZipException& e) {
            EXPECT_EQ(e.m_cause, c.cause);
            EXPECT_EQ(e.m_path, L"package.zip");
        }
    }
}

}  // namespace
