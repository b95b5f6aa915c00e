#include <winsock2.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "settings/AppConfig.h"
#include "text/FixedText.h"
#include "update/ArchiveInstall.h"
#include "support/TestServer.h"
#include "TestUpdateKey.h"
#include "update/ProgramFolder.h"
#include "update/UpdateMarker.h"
#include "update/UpdateMessages.h"
#include "update/UpdateTestSupport.h"

namespace {
using Paths = std::vector<std::string>;

// The temporary files of this prefix that the check's names start with ("kel" + digits + ".tmp").
std::set<std::wstring> TemporaryFiles() {
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    std::set<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((std::wstring(folder) + L"kel*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do names.insert(found.cFileName);
    while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

// The check runs on the folder of the test exe, made current here too, so that
// relative names in the tests mean the same files as in the check.
// The program's version is "1.07" here, whatever the build's is.
class UpdateCheck : public testing::Test {
protected:
    void SetUp() override {
        wchar_t folder[MAX_PATH];
        EnterProgramFolder(folder);
        ASSERT_EQ(AppConfig.http.SetServer(L"127.0.0.1", site.Port()), 1);
        CopyFixedText(savedVersion_, AppConfig.version);
        CopyFixedText(AppConfig.version, L"1.07");
        CopyFixedText(AppConfig.errorText, L"");
        temporaryBefore_ = TemporaryFiles();
    }
    void TearDown() override {
        CopyFixedText(AppConfig.version, savedVersion_);
        EXPECT_EQ(TemporaryFiles(), temporaryBefore_) << "a download outlived the check";
    }
    // Each check starts from an empty document, as the program's one check does;
    // with the build's key (none in the tests' builds), or with `key`.
    int Check(const std::string& manifest, const UpdateKey* key = nullptr) {
        site.Route("/keldatx.txt", 200, manifest);
        AppConfig.document.Clear();
        return key ? AppConfig.CheckForUpdate(*key) : AppConfig.CheckForUpdate();
    }

    // The check with the temporary folder somewhere else.
    int CheckWithTemporaryFolder(const wchar_t* folder, const std::string& manifest) {
        wchar_t tmp[MAX_PATH] = {}, temp[MAX_PATH] = {};
        GetEnvironmentVariableW(L"TMP", tmp, MAX_PATH);
        GetEnvironmentVariableW(L"TEMP", temp, MAX_PATH);
        SetEnvironmentVariableW(L"TMP", folder);
        SetEnvironmentVariableW(L"TEMP", folder);
        int result = Check(manifest);
        SetEnvironmentVariableW(L"TMP", *tmp ? tmp : nullptr);
        SetEnvironmentVariableW(L"TEMP", *temp ? temp : nullptr);
        return result;
    }

    TestServer site;

private:
    wchar_t savedVersion_[10] = {};
    std::set<std::wstring> temporaryBefore_;
};
}  // namespace

TEST_F(UpdateCheck, TheSameVersionCarriesOnAfterRemovingTheLeftoversOfTheLastUpdate) {
    for (const char* name : {"_kelda_tx.exe", "_kelda_helper.dll", "_other.dll", "kelda_note.txt"}) {
        WriteBytes(name, "left over");
    }
    EXPECT_EQ(Check("version=1.07\r\nfile=/kelda_tx_1.08.zip\r\n"), 1);
    EXPECT_EQ(site.TakePaths(), Paths{"/keldatx.txt"});
    EXPECT_STREQ(AppConfig.errorText, L"");
    EXPECT_FALSE(Exists("_kelda_tx.exe"));
    EXPECT_FALSE(Exists("_kelda_helper.dll"));
    EXPECT_TRUE(Exists("_other.dll"));
    EXPECT_TRUE(Exists("kelda_note.txt"));
    DeleteFileA("_other.dll");
    DeleteFileA("kelda_note.txt");
}

TEST_F(UpdateCheck, AnyOtherVersionOrNoneFetchesTheArchive) {
    for (const char* version : {"version=1.08\r\n", "version=1.06\r\n", "version=1.070\r\n", "version=1.7\r\n",
                                "Version=1.07\r\n", ""}) {
        // The archive is missing, and the compatibility list keeps this version running.
        EXPECT_EQ(Check(std::string(version) + "file=/next.zip\r\ncompabilitywith=1.07\r\n"), 1) << version;
        EXPECT_EQ(site.TakePaths(), (Paths{"/keldatx.txt", "/next.zip"})) << version;
    }
}

TEST_F(UpdateCheck, AnArchiveThatCannotBeFetchedKeepsOnlyACompatibleVersionRunning) {
    CopyFixedText(AppConfig.errorText, L"earlier text");
    EXPECT_EQ(Check("version=1.08\r\nfile=/next.zip\r\ncompabilitywith=1.05,1.06,1.07\r\n"), 1);
    EXPECT_STREQ(AppConfig.errorText, L"earlier text");

    EXPECT_EQ(Check("version=1.08\r\nfile=/next.zip\r\ncompabilitywith=1.05,1.06\r\n"), 0);
    EXPECT_STREQ(AppConfig.errorText, update_messages::kOutdated);

    // Without the key the working value still holds the archive's path.
    EXPECT_EQ(Check("version=1.08\r\nfile=/kelda_1.07.zip\r\n"), 1);
    EXPECT_EQ(Check("version=1.08\r\nfile=/kelda_next.zip\r\n"), 0);
    EXPECT_STREQ(AppConfig.errorText, update_messages::kOutdated);
}

// The note of an update that restarted a program which is still not the version it installed.
TEST_F(UpdateCheck, AStartAfterAnUpdateDoesNotInstallTheSameVersionAgain) {
    LeaveUpdateMarker(L"1.08");
    EXPECT_EQ(Check("version=1.08\r\nfile=/next.zip\r\ncompabilitywith=1.07\r\n"), 1);
    EXPECT_EQ(site.TakePaths(), Paths{"/keldatx.txt"});
    EXPECT_FALSE(Exists("_kelda_updated.txt"));

    LeaveUpdateMarker(L"1.08");
    EXPECT_EQ(Check("version=1.08\r\nfile=/next.zip\r\ncompabilitywith=1.06\r\n"), 0);
    EXPECT_STREQ(AppConfig.errorText, update_messages::kOutdated);
    EXPECT_EQ(site.TakePaths(), Paths{"/keldatx.txt"});

    // Another version than the one installed is fetched as ever; without the note, the same one too.
    LeaveUpdateMarker(L"1.08");
    EXPECT_EQ(Check("version=1.09\r\nfile=/next.zip\r\ncompabilitywith=1.07\r\n"), 1);
    EXPECT_EQ(site.TakePaths(), (Paths{"/keldatx.txt", "/next.zip"}));
    EXPECT_EQ(Check("version=1.08\r\nfile=/next.zip\r\ncompabilitywith=1.07\r\n"), 1);
    EXPECT_EQ(site.TakePaths(), (Paths{"/keldatx.txt", "/next.zip"}));
}

TEST_F(UpdateCheck, WithoutFileThePreviousLookupsValueIsRequested) {
    EXPECT_EQ(Check("version=1.08\r\n"), 0);
    EXPECT_EQ(site.TakePaths(), (Paths{"/keldatx.txt", "1.08"}));
    EXPECT_STREQ(AppConfig.errorText, update_messages::kOutdated);
    EXPECT_EQ(Check("; nothing\r\n"), 0);
    EXPECT_EQ(site.TakePaths(), (Paths{"/keldatx.txt", ""}));
}

TEST_F(UpdateCheck, NoServerFailsWithTheNoConnectionMessageAfterLoadingTheSettings) {
    int closedPort;
    {
        TestServer gone;
        closedPort = gone.Port();
    }
    ASSERT_EQ(AppConfig.http.SetServer(L"127.0.0.1", closedPort), 1);
    HKEY key;
    ASSERT_EQ(RegCreateKeyW(HKEY_CURRENT_USER, L"Software\\kelda\\Quillon", &key), ERROR_SUCCESS);
    DWORD one = 1;
    RegSetValueExW(key, L"HideOnStart", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
    AppConfig.hideOnStart = 0;
    LeaveUpdateMarker(L"1.08");

    EXPECT_EQ(Check("version=1.07\r\n"), 0);
    EXPECT_STREQ(AppConfig.errorText, update_messages::kNoConnection);
    EXPECT_EQ(AppConfig.hideOnStart, 1u);
    EXPECT_FALSE(Exists("_kelda_updated.txt")) << "the note of an update outlived the start after it";
    RegDeleteValueW(key, L"HideOnStart");
    RegCloseKey(key);
}

TEST_F(UpdateCheck, NoTemporaryFileFailsWithTheNoConnectionMessageWithoutAskingTheServer) {
    int result = CheckWithTemporaryFolder(L"C:\\no\\such\\folder", "version=1.07\r\n");
    EXPECT_EQ(result, 0);
    EXPECT_STREQ(AppConfig.errorText, update_messages::kNoConnection);
    EXPECT_EQ(site.TakePaths(), Paths{});
}

// A user name in Cyrillic puts the temporary folder where 8-bit names can't reach.
TEST_F(UpdateCheck, ATemporaryFolderWithACyrillicNameStillReceivesTheManifest) {
    wchar_t folder[MAX_PATH] = {};
    GetFullPathNameW(L"Временные файлы", MAX_PATH, folder, nullptr);
    CreateDirectoryW(folder, nullptr);
    int result = CheckWithTemporaryFolder(folder, "version=1.07\r\n");
    EXPECT_EQ(result, 1) << std::wstring(AppConfig.errorText).size();
    EXPECT_EQ(site.TakePaths(), Paths{"/keldatx.txt"});
    EXPECT_TRUE(RemoveDirectoryW(folder)) << "a download was left in the folder";
}

TEST_F(UpdateCheck, ABrokenOrHostileArchiveFailsWithItsMessageAndChangesNoFile) {
    for (const HostileArchive& archive : HostileArchives("update_probe.txt")) {
        WriteBytes("update_probe.txt", "old contents");
        site.Route("/next.zip", 200, archive.bytes);
        EXPECT_EQ(Check("version=1.08\r\nfile=/next.zip\r\n"), 0) << archive.what;
        EXPECT_STREQ(AppConfig.errorText, InstallFailureMessage(static_cast<InstallResult>(archive.result)))
            << archive.what;
        EXPECT_EQ(site.TakePaths(), (Paths{"/keldatx.txt", "/next.zip"})) << "without a key, no signature is asked for";
        EXPECT_EQ(ReadBytes("update_probe.txt"), "old contents") << archive.what;
        for (const char* other : {"_update_probe.txt", "second.txt", "..\\x", "\\x", "C:\\x"}) {
            EXPECT_FALSE(Exists(other)) << archive.what << ": " << other;
        }
    }
    DeleteFileA("update_probe.txt");
}

// Releases signed while the tests were built (make-signed-releases.sh), checked
// against the provider's key, which the test exe holds as a build holds its own.
TEST_F(UpdateCheck, WithAKeyOnlyAnArchiveUnderItsProvidersSignatureReachesTheInstall) {
    const std::string signedFolder = "update\\signed\\";
    const std::string release = ReadBytes(signedFolder + "release.zip");
    const std::string signature = ReadBytes(signedFolder + "release.zip.sig");
    ASSERT_EQ(signature.size(), 384u);
    std::string touched = release;
    touched[10] ^= 1;  // the first entry's time: the zip reader passes it, only the signature tells
    std::vector<unsigned char> unusableBlob(kTestUpdateKey.blob, kTestUpdateKey.blob + kTestUpdateKey.size);
    unusableBlob[8] = 'X';  // no "RSA1": the system can't take the key, as one without SHA-256 can't verify
    const UpdateKey unusable{unusableBlob.data(), static_cast<unsigned long>(unusableBlob.size())};
    const wchar_t* broken = L"Ошибка обновления программы.\nБитый архив.\nОбновите программу вручную.";

    struct Case {
        const char* what;
        std::string archive;
        int signatureStatus;
        std::string signature;
        const wchar_t* message;
        UpdateKey key = kTestUpdateKey;
    };
    const Case cases[] = {
        // Past the signature the install starts, and stops at the entry for a folder that doesn't exist.
        {"its provider's signature", release, 200, signature, update_messages::kFileNotCreated},
        {"no signature", release, 404, "", broken},
        {"the signature of another archive", release, 200, ReadBytes(signedFolder + "another.zip.sig"), broken},
        {"a signature by another key", release, 200, ReadBytes(signedFolder + "release.zip.other-key.sig"),
         broken},
        {"a truncated signature", release, 200, signature.substr(0, signature.size() - 1), broken},
        {"a byte of the archive changed", touched, 200, signature, broken},
        // As an archive that can't be fetched: the manifest names no compatible version.
        {"a system that can't verify", release, 200, signature, update_messages::kOutdated, unusable},
    };
    for (const Case& item : cases) {
        WriteBytes("update_probe.txt", "old contents");
        site.Route("/next.zip", 200, item.archive);
        site.Route("/next.zip.sig", item.signatureStatus, item.signature);
        EXPECT_EQ(Check("version=1.08\r\nfile=/next.zip\r\n", &item.key), 0) << item.what;
        EXPECT_STREQ(AppConfig.errorText, item.message) << item.what;
        EXPECT_EQ(site.TakePaths(), (Paths{"/keldatx.txt", "/next.zip", "/next.zip.sig"})) << item.what;
        EXPECT_EQ(ReadBytes("update_probe.txt"), "old contents") << item.what;
        EXPECT_FALSE(Exists("_update_probe.txt")) << item.what;
        EXPECT_FALSE(Exists("nowhere")) << item.what;
    }
    DeleteFileA("update_probe.txt");
}
