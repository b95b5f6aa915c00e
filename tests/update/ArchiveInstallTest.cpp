#include <gtest/gtest.h>

#include <cstring>

#include "update/EntryName.h"
#include "update/UpdateTestSupport.h"

namespace {
// The real file operations, with the n-th rename failing or the disk full after a quota of bytes.
struct FailingFiles : InstallFileLayer {
    int failingMove = 0, moves = 0;
    long long quota = -1, written = 0;  // -1: no limit
    bool Write(HANDLE file, const char* data, DWORD size) override {
        return (quota < 0 || (written += size) <= quota) && InstallFileLayer::Write(file, data, size);
    }
    bool Move(const char* from, const char* to) override {
        return ++moves != failingMove && InstallFileLayer::Move(from, to);
    }
};

// A release with an entry of each kind: old file and older backup, the same in a subfolder,
// an old file only, a new file. It writes 70,013 bytes.
const std::vector<ZipEntry> kRelease = {
    {"kelda_tx.exe", std::string(70000, 'P')}, {"sub/x.dll", "new x"}, {"readme.txt", "new"}, {"fresh.txt", "fresh"}};

// Unpacks into a scratch folder made current, as the program's folder is for the update; it
// holds the files an earlier update left.
class Install : public testing::Test {
protected:
    void SetUp() override {
        std::filesystem::remove_all("install_scratch");
        std::filesystem::create_directories("install_scratch/sub");
        SetCurrentDirectoryA("install_scratch");
        for (auto [name, contents] : {std::pair{"kelda_tx.exe", "old"}, {"_kelda_tx.exe", "older"},
                                      {"sub\\x.dll", "old x"}, {"sub\\_x.dll", "older x"}, {"readme.txt", "old"}}) {
            WriteBytes(name, contents);
        }
    }
    void TearDown() override {
        SetCurrentDirectoryA("..");
        SetFileAttributesA("install_scratch\\sub\\_x.dll", FILE_ATTRIBUTE_NORMAL);
        std::filesystem::remove_all("install_scratch");
    }
    static InstallResult Unpack(const std::string& archive, InstallFileLayer&& files = InstallFileLayer()) {
        WriteBytes("..\\install_test.zip", archive);
        InstallResult result = InstallArchive("..\\install_test.zip", files);
        DeleteFileA("..\\install_test.zip");
        return result;
    }
};
}  // namespace

TEST_F(Install, KeepsEachOldFileUnderAnUnderscoreAndReplacesOlderBackups) {
    ASSERT_EQ(Unpack(BuildZip(kRelease)), InstallResult::Installed);
    EXPECT_EQ(Snapshot(), (Files{{"kelda_tx.exe", kRelease[0].data}, {"_kelda_tx.exe", "old"},
                                 {"sub/x.dll", "new x"}, {"sub/_x.dll", "old x"}, {"readme.txt", "new"},
                                 {"_readme.txt", "old"}, {"fresh.txt", "fresh"}}));
}

TEST_F(Install, AFailureAtAnyStepLeavesTheFolderByteForByteAsItWasAndSaysWhy) {
    struct Case {
        std::string what;
        InstallResult result;
        const char *heldOpen = nullptr, *readOnly = nullptr, *missingFolder = nullptr;
        int failingMove = 0;
        long long quota = -1;
    };
    std::vector<Case> cases = {
        {"a folder that does not exist", InstallResult::FileNotCreated, nullptr, nullptr, "nowhere/y.dll"},
        {"a disk one byte too small", InstallResult::WriteFailed, nullptr, nullptr, nullptr, 0, 70012},
        {"an old file held open", InstallResult::FileNotCreated, "readme.txt"},
        {"an older backup held open", InstallResult::FileNotCreated, "sub\\_x.dll"},
        {"a read-only older backup", InstallResult::FileNotCreated, nullptr, "sub\\_x.dll"},
    };
    // Each of the nine renames in turn: four entries in, three old files aside, two older backups on hold.
    for (int move = 1; move <= 10; ++move) cases.push_back({"rename " + std::to_string(move), InstallResult::FileNotCreated, nullptr, nullptr, nullptr, move});
    cases.back().result = InstallResult::Installed;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.readOnly) SetFileAttributesA(c.readOnly, FILE_ATTRIBUTE_READONLY);
        Files before = Snapshot();
        HANDLE held = CreateFileA(c.heldOpen ? c.heldOpen : "", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
        FailingFiles files;
        files.failingMove = c.failingMove;
        files.quota = c.quota;
        std::vector<ZipEntry> release = kRelease;
        if (c.missingFolder) release.push_back({c.missingFolder, "y"});
        InstallResult result = Unpack(BuildZip(release), std::move(files));
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        EXPECT_EQ(result, c.result);
        if (result == InstallResult::Installed) break;
        EXPECT_EQ(Snapshot(), before);
        EXPECT_STREQ(InstallFailureMessage(result), InstallMessage(c.result));
        SetFileAttributesA(c.readOnly ? c.readOnly : "", FILE_ATTRIBUTE_NORMAL);
    }
}

TEST_F(Install, AnArchiveThatFailsItsCheckChangesNoFile) {
    for (const HostileArchive& archive : HostileArchives("readme.txt")) {
        Files before = Snapshot();
        EXPECT_EQ(Unpack(archive.bytes), archive.result) << archive.what;
        EXPECT_STREQ(InstallFailureMessage(archive.result), InstallMessage(archive.result));
        EXPECT_EQ(Snapshot(), before) << archive.what;
        for (const char* outside : {"..\\x", "\\x", "C:\\x"}) EXPECT_FALSE(Exists(outside)) << archive.what;
    }
    EXPECT_EQ(InstallArchive("no_such_archive.zip"), InstallResult::BrokenArchive);
}

TEST(EntryName, OnlyPlainRelativePathsInsideTheFolderPass) {
    for (const char* name : {"kelda_tx.exe", "a.b.c", "sub/file.dll", "sub\\deeper\\f.dll", "console.txt", "com10",
                             "nulls.txt", "lpt", ".hidden", "\xD0\xB0.txt"}) {
        EXPECT_TRUE(IsPlainRelativeName(name, std::strlen(name))) << name;
    }
    for (const char* name : {"", "/x", "\\x", "C:\\x", "C:x", "\\\\server\\share\\x", "..", "..\\x", "a/../../x",
                             "a\\..", "./x", "a/./b", "x:stream", "a//b", "dir/", "name.", "name ", "a\x01" "b",
                             "a*b", "a?b", "a|b", "a\"b", "a<b", "a>b", "CON", "nul.txt", "COM1", "lpt5.dat",
                             "CONIN$", "conout$", "sub\\com1.exe", "nul .txt", "COM\xB9"}) {
        EXPECT_FALSE(IsPlainRelativeName(name, std::strlen(name))) << name;
    }
    const char name[] = "good.txt\0..\\evil";  // a NUL inside the recorded length
    EXPECT_FALSE(IsPlainRelativeName(name, sizeof name - 1));
}
