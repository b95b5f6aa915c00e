#include <winsock2.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "TestUpdateKey.h"
#include "settings/AppConfig.h"
#include "support/TestServer.h"
#include "text/FixedText.h"
#include "update/ArchiveInstall.h"
#include "update/EntryName.h"
#include "update/UpdateMarker.h"

// The archives were made and signed with throwaway keys as this exe was built (make-signed-releases.sh): release.zip
// holds update_probe.txt ("signed contents") and sub/x.dll ("x"), outside.zip "..\x" between them.
namespace {
std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
void WriteBytes(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

using R = InstallResult;
// What each failed install shows the user, word for word.
std::wstring InstallMessage(R result) {
    const wchar_t* const reasons[] = {L"Битый архив.", L"Не могу перейти к первому файлу в архиве.",
                                      L"Открытие файла в архиве провалено.", L"Создание файла провалено.",
                                      L"Ошибка при записи файла.", L"Ошибка при распаковке файла."};
    return L"Ошибка обновления программы.\n" + std::wstring(reasons[static_cast<int>(result) - 1]) +
           L"\nОбновите программу вручную.";
}

// The real file operations, the n-th of them (writes and renames counted together) failing.
struct FailingFiles : InstallFileLayer {
    int nth = 0, done = 0;
    bool Write(HANDLE f, const char* d, DWORD n) override { return ++done != nth && InstallFileLayer::Write(f, d, n); }
    bool Move(const char* from, const char* to) override { return ++done != nth && InstallFileLayer::Move(from, to); }
};

// An empty folder, whatever a run ended in the middle of a case left there (read-only files too).
void MakeFresh(const std::filesystem::path& folder) {
    std::error_code none;
    for (const auto& item : std::filesystem::recursive_directory_iterator(folder, none))
        SetFileAttributesW(item.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
}

std::map<std::string, std::string> Snapshot() {
    std::map<std::string, std::string> files;
    for (const auto& item : std::filesystem::recursive_directory_iterator("."))
        if (item.is_regular_file()) files[item.path().generic_string()] = ReadBytes(item.path().string());
    return files;
}
}  // namespace

// Every archive is missing: only a version the manifest names compatible goes on, and a start that follows
// the update which installed the offered version does not fetch it again.
TEST(UpdateCheck, TheManifestDecidesWhatIsFetchedAndWhetherThisVersionGoesOn) {
    TestServer site;
    ASSERT_EQ(AppConfig.http.SetServer(L"127.0.0.1", site.Port()), 1);
    CopyFixedText(AppConfig.version, L"1.07");
    DeleteFileW(kUpdateMarkerName);  // one a killed run left would pass for this start's
    const struct { std::string manifest; const wchar_t* installedBefore; int result; size_t fetched; } cases[] = {
        {"version=1.07\r\nfile=/next.zip\r\n", nullptr, 1, 1},
        {"version=1.08\r\nfile=/next.zip\r\ncompabilitywith=1.05,1.07\r\n", nullptr, 1, 2},
        {"version=1.08\r\nfile=/next.zip\r\ncompabilitywith=1.06\r\n", nullptr, 0, 2},
        {"version=1.08\r\nfile=/next.zip\r\ncompabilitywith=1.07\r\n", L"1.08", 1, 1},
        {"version=1.09\r\nfile=/next.zip\r\ncompabilitywith=1.07\r\n", L"1.08", 1, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.manifest);
        site.Route("/keldatx.txt", 200, c.manifest);
        if (c.installedBefore) LeaveUpdateMarker(c.installedBefore);
        AppConfig.document.Clear();
        CopyFixedText(AppConfig.errorText, L"earlier text");
        EXPECT_EQ(AppConfig.CheckForUpdate(), c.result);
        EXPECT_EQ(site.TakePaths().size(), c.fetched);
        const wchar_t* shown = c.result ? L"earlier text" : L"Версия устарела.\nТребуется обновить программу.";
        EXPECT_STREQ(AppConfig.errorText, shown);
        EXPECT_EQ(GetFileAttributesW(kUpdateMarkerName), INVALID_FILE_ATTRIBUTES) << "the note outlived its start";
    }
}

// With the provider's key (the test exe holds it as a build holds its own) only its signature of that very archive
// gets to the install; without a key none is asked for. The check runs as version 1.07 in the test exe's folder
// (ctest's working folder): that has no "sub" folder, so no archive installs whole (which would restart the exe).
TEST(UpdateCheck, OnlyAnArchiveUnderItsProvidersSignatureReachesTheInstall) {
    TestServer site;
    ASSERT_EQ(AppConfig.http.SetServer(L"127.0.0.1", site.Port()), 1);
    site.Route("/keldatx.txt", 200, "version=1.08\r\nfile=/next.zip\r\n");
    CopyFixedText(AppConfig.version, L"1.07");
    WriteBytes("update_probe.txt", "old contents");
    for (const char* checked : {"_update_probe.txt", "..\\x"}) DeleteFileA(checked);
    const std::string release = ReadBytes("update\\signed\\release.zip");
    const std::string signature = ReadBytes("update\\signed\\release.zip.provider.sig");
    std::string touched = release, badCrc = release, unknownMethod = release;
    touched[10] ^= 1;  // the first entry's time: the zip reader passes it, only the signature tells
    badCrc[release.find("signed contents")] ^= 1;
    unknownMethod[8] = unknownMethod[release.find("PK\1\2") + 10] = 14;  // LZMA in both headers: unknown here
    std::vector<unsigned char> unusableBlob(kTestUpdateKey.blob, kTestUpdateKey.blob + kTestUpdateKey.size);
    unusableBlob[8] = 'X';  // no "RSA1": the system can't take the key, as one without SHA-256 can't verify
    const UpdateKey unusable{unusableBlob.data(), static_cast<unsigned long>(unusableBlob.size())};
    const std::wstring broken = InstallMessage(R::BrokenArchive);
    const struct {
        std::string what, archive, signature;  // no signature: 404
        const UpdateKey* key;
        std::wstring message;
    } cases[] = {
        // Past the signature the install starts, and stops at the entry for a folder that doesn't exist.
        {"its provider's signature", release, signature, &kTestUpdateKey, InstallMessage(R::FileNotCreated)},
        {"no signature", release, "", &kTestUpdateKey, broken},
        {"other key's signature", release, ReadBytes("update\\signed\\release.zip.other.sig"), &kTestUpdateKey, broken},
        {"a truncated signature", release, signature.substr(1), &kTestUpdateKey, broken},
        {"a byte of the archive changed", touched, signature, &kTestUpdateKey, broken},
        {"no system to verify", release, signature, &unusable, L"Версия устарела.\nТребуется обновить программу."},
        {"a name outside", ReadBytes("update\\signed\\outside.zip"), "", nullptr, broken},
        {"a truncated download", release.substr(0, release.size() - 30), "", nullptr, broken},
        {"no entries", std::string("stubPK\5\6") + std::string(18, '\0'), "", nullptr, InstallMessage(R::NoFirstEntry)},
        {"a CRC mismatch", badCrc, "", nullptr, InstallMessage(R::EntryUnreadable)},
        {"an unknown method", unknownMethod, "", nullptr, InstallMessage(R::EntryNotOpened)},
    };
    // A user name in Cyrillic puts the temporary folder where 8-bit names can't reach.
    wchar_t saved[MAX_PATH] = {}, temporary[MAX_PATH] = {};
    GetEnvironmentVariableW(L"TMP", saved, MAX_PATH);
    GetFullPathNameW(L"Временные файлы", MAX_PATH, temporary, nullptr);
    MakeFresh(temporary);
    SetEnvironmentVariableW(L"TMP", temporary);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        site.Route("/next.zip", 200, c.archive);
        site.Route("/next.zip.sig", c.signature.empty() ? 404 : 200, c.signature);
        AppConfig.document.Clear();  // as the program's one check finds it
        EXPECT_EQ(c.key ? AppConfig.CheckForUpdate(*c.key) : AppConfig.CheckForUpdate(), 0);
        EXPECT_EQ(AppConfig.errorText, c.message);
        std::vector<std::string> paths{"/keldatx.txt", "/next.zip", "/next.zip.sig"};
        EXPECT_EQ(site.TakePaths(), std::vector<std::string>(paths.begin(), paths.end() - !c.key));
        // The probe as it was, with no backup beside it and nothing outside the folder.
        EXPECT_EQ(ReadBytes("update_probe.txt") + ReadBytes("_update_probe.txt") + ReadBytes("..\\x"), "old contents");
    }
    SetEnvironmentVariableW(L"TMP", *saved ? saved : nullptr);
    DeleteFileA("update_probe.txt");
    EXPECT_TRUE(RemoveDirectoryW(temporary)) << "a download was left in the temporary folder";
}

// A scratch folder made current, as the program's folder is: an old version and the backup an earlier update left.
TEST(Install, EachFailureUndoesEverythingAndOnlyASuccessKeepsTheOldFilesAside) {
    MakeFresh("install_scratch");
    std::filesystem::create_directory("install_scratch/sub");
    SetCurrentDirectoryA("install_scratch");
    WriteBytes("update_probe.txt", "old");
    WriteBytes("_update_probe.txt", "older");
    WriteBytes("sub\\x.dll", "old x");
    // By the operation that fails: a write of each entry; five renames (the older backup on hold, the old files
    // aside, the entries in); none. None fails in row 0 either, where the older backup is read-only.
    const R expected[] = {R::FileNotCreated, R::WriteFailed, R::WriteFailed, R::FileNotCreated, R::FileNotCreated,
                          R::FileNotCreated, R::FileNotCreated, R::FileNotCreated, R::Installed};
    for (int failing = 0; failing <= 8; ++failing) {
        SCOPED_TRACE("operation " + std::to_string(failing) + " fails");
        SetFileAttributesA("_update_probe.txt", failing == 0 ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
        auto before = Snapshot();
        FailingFiles files;
        files.nth = failing;
        ASSERT_EQ(InstallArchive("..\\update\\signed\\release.zip", files), expected[failing]);
        if (failing == 8) break;
        EXPECT_EQ(Snapshot(), before);
        EXPECT_EQ(InstallFailureMessage(expected[failing]), InstallMessage(expected[failing]));
    }
    const decltype(Snapshot()) installed{{"./update_probe.txt", "signed contents"}, {"./_update_probe.txt", "old"},
                                         {"./sub/x.dll", "x"}, {"./sub/_x.dll", "old x"}};
    EXPECT_EQ(Snapshot(), installed);
    SetCurrentDirectoryA("..");  // the folder stays until the next run, for a look after a failure
}

TEST(EntryName, NoneThatLeavesTheFolderOrNamesADeviceOrStreamPasses) {
    for (std::string name : {"", "\\x", "C:\\x", "C:x", "\\\\server\\share\\x", "..", "..\\x", "a/../../x", "x:stream",
                             "a//b", "name.", "name ", "a*b", "CON", "nul.txt", "sub\\com1.exe", "COM\xB9"})
        EXPECT_FALSE(IsPlainRelativeName(name.c_str(), name.size())) << name;
    EXPECT_FALSE(IsPlainRelativeName("good.txt\0..\\evil", 16));  // a NUL inside the recorded length
}
