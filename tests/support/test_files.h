// Small file helpers for tests: a temporary folder removed with its contents at the end of the
// test, and whole-file reads and writes.
#pragma once

#include <string>

namespace testing_support {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The folder, without a trailing separator.
    const std::wstring& Path() const { return m_path; }
    // Path() + separator + relative (relative may use '/' for nesting).
    std::wstring operator/(const std::wstring& relative) const;

  private:
    std::wstring m_path;
};

// Removes a tree without following links (test clean-up).
void RemoveTree(const std::wstring& path);
// Creates every missing folder of path.
void MakeFolders(const std::wstring& path);
// Writes bytes to a file, creating its folders.
void WriteFileBytes(const std::wstring& path, const std::string& bytes);
// Whole content of a file; empty when it cannot be read.
std::string ReadFileBytes(const std::wstring& path);
// The path with '/' turned into the platform separator.
std::wstring NativePath(std::wstring path);

}  // namespace testing_support
