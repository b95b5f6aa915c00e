#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "update/ArchiveInstall.h"
#include "update/UpdateMessages.h"
#include "update/UpdateTestSupport.h"

namespace {
// Unpacks into a scratch folder made current for the test, as the program's folder is for the update.
class Install : public testing::Test {
protected:
    void SetUp() override {
        GetCurrentDirectoryA(MAX_PATH, home_);
        RemoveTree(kFolder);
        ASSERT_TRUE(CreateDirectoryA(kFolder, nullptr));
        ASSERT_TRUE(SetCurrentDirectoryA(kFolder));
    }
    void TearDown() override {
        SetCurrentDirectoryA(home_);
        RemoveTree(kFolder);
        DeleteFileA(kArchive);
        DeleteFileA("x");
    }
    InstallResult Unpack(const std::string& archive) {
        WriteBytes(std::string("..\\") + kArchive, archive);
        return InstallArchive((std::string("..\\") + kArchive).c_str());
    }

    static constexpr const char* kFolder = "install_scratch";
    static constexpr const char* kArchive = "install_test.zip";
    char home_[MAX_PATH] = {};
};
}  // namespace

TEST_F(Install, MovesEachOldFileAsideAndWritesTheEntryUnderItsName) {
    CreateDirectoryA("sub", nullptr);
    WriteBytes("kelda_tx.exe", "old program");
    WriteBytes("_kelda_tx.exe", "older program");
    WriteBytes("sub\\data.bin", "old data");
    std::string big(70000, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 31);
    ASSERT_EQ(Unpack(BuildZip({{"kelda_tx.exe", big}, {"sub/data.bin", "new data"}, {"fresh.dll", "fresh"}})),
              InstallResult::Installed);

    auto files = Snapshot(".");
    EXPECT_TRUE(files["kelda_tx.exe"] == big);
    files.erase("kelda_tx.exe");
    // "_" + "sub/data.bin" names a folder "_sub" that does not exist: that old file is not kept.
    EXPECT_EQ(files, (std::map<std::string, std::string>{{"_kelda_tx.exe", "old program"},
                                                         {"sub/data.bin", "new data"},
                                                         {"fresh.dll", "fresh"}}));
}

TEST_F(Install, AnEntryInAFolderThatDoesNotExistFailsToBeCreatedAfterTheEntriesBeforeIt) {
    WriteBytes("a.txt", "old a");
    EXPECT_EQ(Unpack(BuildZip({{"a.txt", "new a"}, {"nowhere/b.txt", "b"}, {"c.txt", "c"}})),
              InstallResult::FileNotCreated);
    EXPECT_EQ(Snapshot("."), (std::map<std::string, std::string>{{"a.txt", "new a"}, {"_a.txt", "old a"}}));
    EXPECT_STREQ(InstallFailureMessage(InstallResult::FileNotCreated), update_messages::kFileNotCreated);
}

TEST_F(Install, AnArchiveThatFailsItsCheckChangesNoFile) {
    for (const HostileArchive& archive : HostileArchives("good.txt")) {
        WriteBytes("good.txt", "old contents");
        auto before = Snapshot(".");
        EXPECT_EQ(static_cast<int>(Unpack(archive.bytes)), archive.result) << archive.what;
        EXPECT_EQ(Snapshot("."), before) << archive.what;
        for (const char* outside : {"..\\x", "\\x", "C:\\x"}) EXPECT_FALSE(Exists(outside)) << archive.what;
    }
    EXPECT_EQ(InstallArchive("no_such_archive.zip"), InstallResult::BrokenArchive);
}
