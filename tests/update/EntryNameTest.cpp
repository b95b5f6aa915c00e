#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "update/EntryName.h"

namespace {
bool Plain(const std::string& name) { return IsPlainRelativeName(name.c_str(), name.size()); }
}  // namespace

TEST(EntryName, AcceptsFilesAndPathsIntoSubfolders) {
    for (const char* name : {"kelda_tx.exe", "readme", "a.b.c", "sub/file.dll", "sub\\deeper\\file.dll",
                             "console.txt", "com10", "nulls.txt", "lpt", ".hidden", "\xD0\xB0.txt"}) {
        EXPECT_TRUE(Plain(name)) << name;
    }
}

TEST(EntryName, RefusesNamesThatLeaveTheFolderOrNameNoPlainFile) {
    for (const char* name : {"", "/x", "\\x", "C:\\x", "C:x", "c:/x", "\\\\server\\share\\x", "..", "..\\x",
                             "../x", "a/../../x", "a\\..", "./x", "a/./b", "x:stream", "a//b", "dir/", "dir\\",
                             "name.", "name ", "a\x01" "b", "a*b", "a?b", "a|b", "a\"b", "a<b", "a>b"}) {
        EXPECT_FALSE(Plain(name)) << name;
    }
}

TEST(EntryName, RefusesDeviceNamesWithOrWithoutAnExtension) {
    for (const char* name : {"CON", "con", "PRN", "aux", "NUL", "nul.txt", "COM1", "com9.log", "LPT1", "lpt5.dat",
                             "CONIN$", "conout$", "sub/NUL", "sub\\com1.exe", "nul .txt", "COM\xB9"}) {
        EXPECT_FALSE(Plain(name)) << name;
    }
}

TEST(EntryName, RefusesANulInsideTheRecordedLength) {
    const char name[] = "good.txt\0..\\evil";
    EXPECT_FALSE(IsPlainRelativeName(name, sizeof name - 1));
    EXPECT_TRUE(IsPlainRelativeName(name, std::strlen(name)));
    EXPECT_FALSE(IsPlainRelativeName(nullptr, 0));
}
