#include <winsock2.h>

#include <gtest/gtest.h>

#include "TestUpdateKey.h"
#include "settings/AppConfig.h"
#include "support/TestServer.h"
#include "text/FixedText.h"
#include "update/ProgramFolder.h"
#include "update/UpdateMarker.h"
#include "update/UpdateTestSupport.h"

namespace {
using Paths = std::vector<std::string>;
const wchar_t kNoConnection[] = L"Нет связи с сервером. Попробуйте запустить программу позже.";
const wchar_t kOutdated[] = L"Версия устарела.\nТребуется обновить программу.";

// The check runs in the test exe's folder, made current here too. The program's version is "1.07".
class UpdateCheck : public testing::Test {
protected:
    void SetUp() override {
        wchar_t folder[MAX_PATH];
        EnterProgramFolder(folder);
        ASSERT_EQ(AppConfig.http.SetServer(L"127.0.0.1", site.Port()), 1);
        CopyFixedText(AppConfig.version, L"1.07");
        WriteBytes("update_probe.txt", "old contents");
    }
    void TearDown() override { DeleteFileA("update_probe.txt"); }
    // One check from an empty document, as the program's one check is; `text` is what errorText held.
    int Check(const std::string& manifest, const UpdateKey* key = nullptr, const wchar_t* text = L"") {
        site.Route("/keldatx.txt", 200, manifest);
        AppConfig.document.Clear();
        CopyFixedText(AppConfig.errorText, text);
        return key ? AppConfig.CheckForUpdate(*key) : AppConfig.CheckForUpdate();
    }
    // The check with the temporary folder elsewhere.
    int CheckWithTemporaryFolder(const wchar_t* folder) {
        wchar_t tmp[MAX_PATH] = {}, temp[MAX_PATH] = {};
        GetEnvironmentVariableW(L"TMP", tmp, MAX_PATH);
        GetEnvironmentVariableW(L"TEMP", temp, MAX_PATH);
        SetEnvironmentVariableW(L"TMP", folder);
        SetEnvironmentVariableW(L"TEMP", folder);
        int result = Check("version=1.07\r\n");
        SetEnvironmentVariableW(L"TMP", *tmp ? tmp : nullptr);
        SetEnvironmentVariableW(L"TEMP", *temp ? temp : nullptr);
        return result;
    }
    // The probe as it was, and nothing an archive names beside or outside the folder.
    static bool Untouched() {
        for (const char* other : {"_update_probe.txt", "second.txt", "nowhere", "..\\x", "\\x", "C:\\x"}) {
            if (Exists(other)) return false;
        }
        return ReadBytes("update_probe.txt") == "old contents";
    }
    TestServer site;
};
}  // namespace

// Every row's archive is missing: only a version named compatible carries on.
TEST_F(UpdateCheck, TheManifestDecidesWhatIsFetchedAndWhetherThisVersionGoesOn) {
    const struct {
        std::string manifest;
        bool marker;  // the note of an update that installed 1.08, yet this is still 1.07
        int result;
        Paths paths;
    } cases[] = {
        {"version=1.07\r\nfile=/next.zip\r\n", false, 1, {"/keldatx.txt"}},
        {"version=1.08\r\nfile=/next.zip\r\ncompabilitywith=1.05,1.06,1.07\r\n", false, 1, {"/keldatx.txt", "/next.zip"}},
        {"version=1.06\r\nfile=/next.zip\r\ncompabilitywith=1.07\r\n", false, 1, {"/keldatx.txt", "/next.zip"}},
        {"version=1.070\r\nfile=/next.zip\r\ncompabilitywith=1.07\r\n", false, 1, {"/keldatx.txt", "/next.zip"}},
        {"Version=1.07\r\nfile=/next.zip\r\ncompabilitywith=1.07\r\n", false, 1, {"/keldatx.txt", "/next.zip"}},
        {"version=1.08\r\nfile=/next.zip\r\ncompabilitywith=1.05,1.06\r\n", false, 0, {"/keldatx.txt", "/next.zip"}},
        {"version=1.08\r\nfile=/kelda_1.07.zip\r\n", false, 1, {"/keldatx.txt", "/kelda_1.07.zip"}},  // the path holds 1.07
        {"version=1.08\r\nfile=/next.zip\r\n", false, 0, {"/keldatx.txt", "/next.zip"}},
        {"version=1.08\r\n", false, 0, {"/keldatx.txt", "1.08"}},  // without file, the version is asked for
        {"; nothing\r\n", false, 0, {"/keldatx.txt", ""}},
        {"version=1.08\r\nfile=/next.zip\r\ncompabilitywith=1.07\r\n", true, 1, {"/keldatx.txt"}},
        {"version=1.08\r\nfile=/next.zip\r\ncompabilitywith=1.06\r\n", true, 0, {"/keldatx.txt"}},
        {"version=1.09\r\nfile=/next.zip\r\ncompabilitywith=1.07\r\n", true, 1, {"/keldatx.txt", "/next.zip"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.manifest + (c.marker ? " after an update" : ""));
        if (c.marker) LeaveUpdateMarker(L"1.08");
        WriteBytes("_kelda_tx.exe", "left over");
        WriteBytes("_other.dll", "not ours");
        EXPECT_EQ(Check(c.manifest, nullptr, L"earlier text"), c.result);
        EXPECT_EQ(site.TakePaths(), c.paths);
        EXPECT_STREQ(AppConfig.errorText, c.result ? L"earlier text" : kOutdated);
        EXPECT_FALSE(Exists("_kelda_tx.exe") || Exists("_kelda_updated.txt"));
        EXPECT_TRUE(Exists("_other.dll"));
    }
    DeleteFileA("_other.dll");
}

TEST_F(UpdateCheck, NoServerOrNoTemporaryFileFailsAsNoConnectionAndACyrillicFolderWorks) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyW(HKEY_CURRENT_USER, L"Software\\kelda\\Quillon", &key), ERROR_SUCCESS);
    DWORD one = 1;
    RegSetValueExW(key, L"HideOnStart", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
    AppConfig.hideOnStart = 0;
    LeaveUpdateMarker(L"1.08");
    ASSERT_EQ(AppConfig.http.SetServer(L"127.0.0.1", RefusedPort()), 1);
    EXPECT_EQ(Check("version=1.07\r\n"), 0);
    EXPECT_STREQ(AppConfig.errorText, kNoConnection);
    EXPECT_EQ(AppConfig.hideOnStart, 1u);  // the settings were loaded first
    EXPECT_FALSE(Exists("_kelda_updated.txt")) << "the note of an update outlived the start after it";
    RegDeleteValueW(key, L"HideOnStart");
    RegCloseKey(key);

    ASSERT_EQ(AppConfig.http.SetServer(L"127.0.0.1", site.Port()), 1);
    EXPECT_EQ(CheckWithTemporaryFolder(L"C:\\no\\such\\folder"), 0);
    EXPECT_STREQ(AppConfig.errorText, kNoConnection);
    EXPECT_EQ(site.TakePaths(), Paths{});
    // A user name in Cyrillic puts the temporary folder where 8-bit names can't reach.
    wchar_t folder[MAX_PATH] = {};
    GetFullPathNameW(L"Временные файлы", MAX_PATH, folder, nullptr);
    CreateDirectoryW(folder, nullptr);
    EXPECT_EQ(CheckWithTemporaryFolder(folder), 1);
    EXPECT_EQ(site.TakePaths(), Paths{"/keldatx.txt"});
    EXPECT_TRUE(RemoveDirectoryW(folder)) << "a download was left in the folder";
}

TEST_F(UpdateCheck, ABrokenOrHostileArchiveFailsWithItsMessageAndChangesNoFile) {
    for (const HostileArchive& archive : HostileArchives("update_probe.txt")) {
        site.Route("/next.zip", 200, archive.bytes);
        EXPECT_EQ(Check("version=1.08\r\nfile=/next.zip\r\n"), 0) << archive.what;
        EXPECT_STREQ(AppConfig.errorText, InstallMessage(archive.result)) << archive.what;
        EXPECT_EQ(site.TakePaths(), (Paths{"/keldatx.txt", "/next.zip"})) << "without a key, no signature is asked for";
        EXPECT_TRUE(Untouched()) << archive.what;
    }
}

// Releases signed while the tests were built (make-signed-releases.sh), checked against the
// provider's key, which the test exe holds as a build holds its own.
TEST_F(UpdateCheck, WithAKeyOnlyAnArchiveUnderItsProvidersSignatureReachesTheInstall) {
    const std::string release = ReadBytes("update\\signed\\release.zip");
    const std::string signature = ReadBytes("update\\signed\\release.zip.sig");
    ASSERT_EQ(signature.size(), 384u);
    std::string touched = release;
    touched[10] ^= 1;  // the first entry's time: the zip reader passes it, only the signature tells
    std::vector<unsigned char> unusableBlob(kTestUpdateKey.blob, kTestUpdateKey.blob + kTestUpdateKey.size);
    unusableBlob[8] = 'X';  // no "RSA1": the system can't take the key, as one without SHA-256 can't verify
    const UpdateKey unusable{unusableBlob.data(), static_cast<unsigned long>(unusableBlob.size())};
    const wchar_t* broken = InstallMessage(InstallResult::BrokenArchive);
    const struct {
        const char* what;
        std::string archive;
        int signatureStatus;
        std::string signature;
        const wchar_t* message;
        UpdateKey key = kTestUpdateKey;
    } cases[] = {
        // Past the signature the install starts, and stops at an entry for a folder that doesn't exist.
        {"its provider's signature", release, 200, signature, InstallMessage(InstallResult::FileNotCreated)},
        {"no signature", release, 404, "", broken},
        {"another archive's signature", release, 200, ReadBytes("update\\signed\\another.zip.sig"), broken},
        {"another key's signature", release, 200, ReadBytes("update\\signed\\release.zip.other-key.sig"), broken},
        {"a truncated signature", release, 200, signature.substr(0, signature.size() - 1), broken},
        {"a byte of the archive changed", touched, 200, signature, broken},
        {"a system that can't verify", release, 200, signature, kOutdated, unusable},  // as a missing archive
    };
    for (const auto& c : cases) {
        site.Route("/next.zip", 200, c.archive);
        site.Route("/next.zip.sig", c.signatureStatus, c.signature);
        EXPECT_EQ(Check("version=1.08\r\nfile=/next.zip\r\n", &c.key), 0) << c.what;
        EXPECT_STREQ(AppConfig.errorText, c.message) << c.what;
        EXPECT_EQ(site.TakePaths(), (Paths{"/keldatx.txt", "/next.zip", "/next.zip.sig"})) << c.what;
        EXPECT_TRUE(Untouched()) << c.what;
    }
}
