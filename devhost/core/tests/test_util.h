// Shared ground of the host's own tests: a fresh host per test and temporary folders.
#ifndef VARNEL_DEVHOST_TEST_UTIL_H
#define VARNEL_DEVHOST_TEST_UTIL_H

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "devhost/core/devhost.h"
#include "devhost/core/text_file.h"

class HostTest : public ::testing::Test {
protected:
    void SetUp() override { devhost::Init(); }
    void TearDown() override { devhost::Reset(); }
};

// A new empty folder under the temp directory, removed with everything in it.
class TempFolder {
public:
    explicit TempFolder(const wchar_t* tag);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
};

using devhost::RemoveTree;
// Printable form of a UTF-16 string for assertion messages: \uXXXX outside ASCII.
std::string Show(const std::wstring& text);

#endif
