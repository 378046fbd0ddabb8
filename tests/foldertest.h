// A test with a folder of its own, under Wine (NxTest) or natively, so the
// Win32-free service library code can also run under the sanitizers.
#pragma once
#include <gtest/gtest.h>
#include <string>

#ifdef _WIN32
#include "testutil.h"
using FolderTest = tu::NxTest;  // dir: the test's own folder
static const char* SEP = "\\";
#else
#include <stdlib.h>
class FolderTest : public ::testing::Test {
protected:
    std::string dir;
    void SetUp() override
    {
        char t[] = "/tmp/nxtestXXXXXX";
        ASSERT_NE(mkdtemp(t), nullptr);
        dir = t;
    }
    void TearDown() override { (void)!system(("rm -rf '" + dir + "'").c_str()); }
};
static const char* SEP = "/";
#endif
