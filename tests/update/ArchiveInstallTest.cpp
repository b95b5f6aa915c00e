#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "update/ArchiveInstall.h"
#include "update/UpdateMessages.h"
#include "update/UpdateTestSupport.h"

namespace {
// The real file operations, with the n-th rename failing or the disk full after
// a quota of bytes, counted from the start of the install.
class FailingFiles : public InstallFileLayer {
public:
    int failingMove = 0;
    long long quota = -1;  // bytes; -1 without a limit

    bool Write(HANDLE file, const char* data, DWORD size) override {
        written_ += size;
        return (quota < 0 || written_ <= quota) && InstallFileLayer::Write(file, data, size);
    }
    bool Move(const char* from, const char* to) override {
        return ++moves_ != failingMove && InstallFileLayer::Move(from, to);
    }

private:
    long long written_ = 0;
    int moves_ = 0;
};

std::string BigProgram() {
    std::string big(70000, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 31);
    return big;
}

// A release with an entry of each kind: one whose old file and older backup
// exist, one in a subfolder with both, one with an old file only, a new one.
std::vector<ZipEntry> Release() {
    return {{"kelda_tx.exe", BigProgram()},
            {"sub/x.dll", "new x"},
            {"readme.txt", "new readme"},
            {"fresh.txt", "fresh"}};
}

long long ReleaseBytes() {
    long long total = 0;
    for (const ZipEntry& entry : Release()) total += static_cast<long long>(entry.data.size());
    return total;
}

// Unpacks into a scratch folder made current for the test, as the program's folder is for the update.
class Install : public testing::Test {
protected:
    void SetUp() override {
        GetCurrentDirectoryA(MAX_PATH, home_);
        ASSERT_TRUE(FreshFolder());
    }
    void TearDown() override {
        SetCurrentDirectoryA(home_);
        RemoveTree(kFolder);
        DeleteFileA(kArchive);
        DeleteFileA("x");
    }
    // An empty scratch folder, made current.
    bool FreshFolder() {
        SetCurrentDirectoryA(home_);
        RemoveTree(kFolder);
        return CreateDirectoryA(kFolder, nullptr) && SetCurrentDirectoryA(kFolder);
    }
    // The program's folder as an earlier update left it.
    static void FillProgramFolder() {
        CreateDirectoryA("sub", nullptr);
        WriteBytes("kelda_tx.exe", "old program");
        WriteBytes("_kelda_tx.exe", "older program");
        WriteBytes("sub\\x.dll", "old x");
        WriteBytes("sub\\_x.dll", "older x");
        WriteBytes("readme.txt", "old readme");
    }
    InstallResult Unpack(const std::string& archive, InstallFileLayer& files) {
        WriteBytes(std::string("..\\") + kArchive, archive);
        return InstallArchive((std::string("..\\") + kArchive).c_str(), files);
    }
    InstallResult Unpack(const std::string& archive) {
        InstallFileLayer files;
        return Unpack(archive, files);
    }

    static constexpr const char* kFolder = "install_scratch";
    static constexpr const char* kArchive = "install_test.zip";
    char home_[MAX_PATH] = {};
};

// One way an install can fail part-way, and the message it must end with.
struct FailureCase {
    std::string what;
    std::vector<ZipEntry> entries;
    InstallResult result;
    const char* heldOpen = nullptr;  // held open, without delete sharing, by another program
    const char* readOnly = nullptr;
    int failingMove = 0;
    long long quota = -1;
};
}  // namespace

TEST_F(Install, KeepsEachOldFileBesideItUnderAnUnderscoreAndReplacesOlderBackups) {
    FillProgramFolder();
    ASSERT_EQ(Unpack(BuildZip(Release())), InstallResult::Installed);
    EXPECT_EQ(ChangedPaths(Snapshot("."), Files{{"kelda_tx.exe", BigProgram()},
                                    {"_kelda_tx.exe", "old program"},
                                    {"sub/x.dll", "new x"},
                                    {"sub/_x.dll", "old x"},
                                    {"readme.txt", "new readme"},
                                    {"_readme.txt", "old readme"},
                                    {"fresh.txt", "fresh"}}), "");
}

TEST_F(Install, AFailureAtAnyStepLeavesTheProgramFolderByteForByteAsItWas) {
    std::vector<ZipEntry> missingFolder = Release();
    missingFolder.push_back({"nowhere/y.dll", "y"});
    std::vector<FailureCase> cases = {
        {"a folder that does not exist", missingFolder, InstallResult::FileNotCreated},
        {"a disk one byte too small", Release(), InstallResult::WriteFailed, nullptr, nullptr, 0, ReleaseBytes() - 1},
        {"an old file held open", Release(), InstallResult::FileNotCreated, "readme.txt"},
        {"an older backup held open", Release(), InstallResult::FileNotCreated, "sub\\_x.dll"},
        {"a read-only older backup", Release(), InstallResult::FileNotCreated, nullptr, "sub\\_x.dll"},
    };
    // Every rename of the install in turn, until there is none left to fail.
    for (int move = 1; move < 30; ++move) {
        cases.push_back({"rename " + std::to_string(move), Release(), InstallResult::FileNotCreated, nullptr, nullptr,
                         move});
    }
    int renames = -1;
    for (const FailureCase& failure : cases) {
        ASSERT_TRUE(FreshFolder());
        FillProgramFolder();
        if (failure.readOnly) SetFileAttributesA(failure.readOnly, FILE_ATTRIBUTE_READONLY);
        Files before = Snapshot(".");
        HANDLE held = failure.heldOpen ? CreateFileA(failure.heldOpen, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                     nullptr, OPEN_EXISTING, 0, nullptr)
                                       : INVALID_HANDLE_VALUE;
        FailingFiles files;
        files.failingMove = failure.failingMove;
        files.quota = failure.quota;
        InstallResult result = Unpack(BuildZip(failure.entries), files);
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        if (failure.failingMove != 0 && result == InstallResult::Installed) {
            renames = failure.failingMove - 1;
            break;
        }
        EXPECT_EQ(result, failure.result) << failure.what;
        EXPECT_EQ(ChangedPaths(before, Snapshot(".")), "") << failure.what;
    }
    // Four entries move in, three old files aside, two older backups on hold.
    EXPECT_EQ(renames, 9);
    EXPECT_STREQ(InstallFailureMessage(InstallResult::FileNotCreated), update_messages::kFileNotCreated);
    EXPECT_STREQ(InstallFailureMessage(InstallResult::WriteFailed), update_messages::kWriteFailed);
}

TEST_F(Install, AnArchiveThatFailsItsCheckChangesNoFile) {
    for (const HostileArchive& archive : HostileArchives("good.txt")) {
        WriteBytes("good.txt", "old contents");
        Files before = Snapshot(".");
        EXPECT_EQ(static_cast<int>(Unpack(archive.bytes)), archive.result) << archive.what;
        EXPECT_EQ(ChangedPaths(before, Snapshot(".")), "") << archive.what;
        for (const char* outside : {"..\\x", "\\x", "C:\\x"}) EXPECT_FALSE(Exists(outside)) << archive.what;
    }
    EXPECT_EQ(InstallArchive("no_such_archive.zip"), InstallResult::BrokenArchive);
}
