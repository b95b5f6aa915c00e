#include <winsock2.h>

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
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
#include "update/ProgramFolder.h"
#include "update/UpdateMarker.h"

namespace {
std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
void WriteBytes(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// What each install result shows the user, word for word.
std::wstring InstallMessage(InstallResult result) {
    const wchar_t* const reasons[] = {L"Битый архив.", L"Не могу перейти к первому файлу в архиве.",
                                      L"Открытие файла в архиве провалено.", L"Создание файла провалено.",
                                      L"Ошибка при записи файла.", L"Ошибка при распаковке файла."};
    return L"Ошибка обновления программы.\n" + std::wstring(reasons[static_cast<int>(result) - 1]) + L"\nОбновите программу вручную.";
}

// An entry stored as given: `method` is only recorded, `wrongCrc` spoils the checksum.
struct ZipEntry {
    std::string name, data;
    std::uint16_t method = 0;
    bool wrongCrc = false;
};
std::string BuildZip(const std::vector<ZipEntry>& entries) {
    auto le = [](std::size_t value, int bytes) {
        std::string s;
        for (int i = 0; i < bytes; ++i) s += static_cast<char>(value >> (8 * i));
        return s;
    };
    std::string out, directory;
    for (const ZipEntry& e : entries) {
        auto size = static_cast<uInt>(e.data.size());
        uLong crc = crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), size) ^ (e.wrongCrc ? 0x5A5A : 0);
        std::string common = le(10, 2) + le(0, 2) + le(e.method, 2) + le(0x210000, 4) + le(crc, 4) + le(size, 4) +
                             le(size, 4) + le(e.name.size(), 2) + le(0, 2);  // date 1980-01-01
        directory += le(0x02014B50, 4) + le(20, 2) + common + le(0, 10) + le(out.size(), 4) + e.name;
        out += le(0x04034B50, 4) + common + e.name + e.data;
    }
    return out + directory + le(0x06054B50, 4) + le(0, 4) + le(entries.size() * 0x10001, 4) +
           le(directory.size(), 4) + le(out.size(), 4) + le(0, 2);
}

// The real file operations, with the n-th rename failing or the disk full after a quota of bytes.
struct FailingFiles : InstallFileLayer {
    int failingMove = 0, moves = 0;
    long long quota = -1, written = 0;  // -1: no limit
    bool Write(HANDLE file, const char* data, DWORD size) override {
        return (quota < 0 || (written += size) <= quota) && InstallFileLayer::Write(file, data, size);
    }
    bool Move(const char* from, const char* to) override { return ++moves != failingMove && InstallFileLayer::Move(from, to); }
};

std::map<std::string, std::string> Snapshot() {
    std::map<std::string, std::string> files;
    for (const auto& item : std::filesystem::recursive_directory_iterator(".")) {
        if (item.is_regular_file()) files[item.path().generic_string()] = ReadBytes(item.path().string());
    }
    return files;
}

// Old file and older backup, the same in a subfolder, an old file only, a new file: 70,013 bytes.
const std::vector<ZipEntry> kRelease = {
    {"kelda_tx.exe", std::string(70000, 'P')}, {"sub/x.dll", "new x"}, {"readme.txt", "new"}, {"fresh.txt", "fresh"}};

// A scratch folder made current, as the program's folder is, holding what an earlier update left.
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
        DeleteFileA("install_test.zip");
        SetFileAttributesA("install_scratch\\sub\\_x.dll", FILE_ATTRIBUTE_NORMAL);
        std::filesystem::remove_all("install_scratch");
    }
    static InstallResult Unpack(const std::string& archive, InstallFileLayer&& files = InstallFileLayer()) {
        WriteBytes("..\\install_test.zip", archive);
        return InstallArchive("..\\install_test.zip", files);
    }
};
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
    int CheckWithTemporaryFolder(const wchar_t* folder) {
        const wchar_t* names[] = {L"TMP", L"TEMP"};
        wchar_t saved[2][MAX_PATH] = {};
        for (int i : {0, 1}) GetEnvironmentVariableW(names[i], saved[i], MAX_PATH), SetEnvironmentVariableW(names[i], folder);
        int result = Check("version=1.07\r\n");
        for (int i : {0, 1}) SetEnvironmentVariableW(names[i], *saved[i] ? saved[i] : nullptr);
        return result;
    }
    // The probe as it was, and nothing an archive names beside or outside the folder.
    static bool Untouched() {
        for (const char* other : {"_update_probe.txt", "second.txt", "nowhere", "..\\x", "..\\..\\x"}) {
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
        {"version=1.070\r\nfile=/next.zip\r\ncompabilitywith=1.07\r\n", false, 1, {"/keldatx.txt", "/next.zip"}},
        {"version=1.08\r\nfile=/next.zip\r\ncompabilitywith=1.05,1.06\r\n", false, 0, {"/keldatx.txt", "/next.zip"}},
        {"version=1.08\r\nfile=/kelda_1.07.zip\r\n", false, 1, {"/keldatx.txt", "/kelda_1.07.zip"}},  // the path holds 1.07
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
        EXPECT_TRUE(DeleteFileA("_other.dll"));
    }
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

// Releases signed while the tests were built (make-signed-releases.sh), checked against the
// provider's key, which the test exe holds as a build holds its own; without a key, none is asked for.
TEST_F(UpdateCheck, OnlyAnArchiveUnderItsProvidersSignatureReachesTheInstall) {
    const std::string release = ReadBytes("update\\signed\\release.zip");
    const std::string signature = ReadBytes("update\\signed\\release.zip.sig");
    ASSERT_EQ(signature.size(), 384u);
    std::string touched = release;
    touched[10] ^= 1;  // the first entry's time: the zip reader passes it, only the signature tells
    std::vector<unsigned char> unusableBlob(kTestUpdateKey.blob, kTestUpdateKey.blob + kTestUpdateKey.size);
    unusableBlob[8] = 'X';  // no "RSA1": the system can't take the key, as one without SHA-256 can't verify
    const UpdateKey unusable{unusableBlob.data(), static_cast<unsigned long>(unusableBlob.size())};
    const std::wstring broken = InstallMessage(InstallResult::BrokenArchive);
    const ZipEntry good{"update_probe.txt", "new contents"};
    std::string whole = BuildZip({good, {"second.txt", std::string(5000, 's')}});
    struct Case {
        std::string what, archive;
        int signatureStatus;
        std::string signature;
        std::wstring message;
        const UpdateKey* key = &kTestUpdateKey;
    };
    std::vector<Case> cases = {
        // Past the signature the install starts, and stops at an entry for a folder that doesn't exist.
        {"its provider's signature", release, 200, signature, InstallMessage(InstallResult::FileNotCreated)},
        {"no signature", release, 404, "", broken},
        {"another archive's signature", release, 200, ReadBytes("update\\signed\\another.zip.sig"), broken},
        {"another key's signature", release, 200, ReadBytes("update\\signed\\release.zip.other-key.sig"), broken},
        {"a truncated signature", release, 200, signature.substr(0, signature.size() - 1), broken},
        {"a byte of the archive changed", touched, 200, signature, broken},
        {"a system that can't verify", release, 200, signature, kOutdated, &unusable},  // as a missing archive
        // Without a key, archives whose check must fail before anything moves, each beside a good entry.
        {"a name outside", BuildZip({good, {"..\\x", "evil"}}), 404, "", broken, nullptr},
        {"a name too long", BuildZip({good, {std::string(259, 'n'), "evil"}}), 404, "", broken, nullptr},
        {"a truncated archive", whole.substr(0, whole.size() - 100), 404, "", broken, nullptr},
        {"not a zip", "version=1.08\r\nfile=/x.zip\r\n", 404, "", broken, nullptr},
        {"nothing but an end record", BuildZip({}), 404, "", broken, nullptr},  // minizip's test for no archive
        {"no entries", "stub" + BuildZip({}), 404, "", InstallMessage(InstallResult::NoFirstEntry), nullptr},
        {"a CRC mismatch", BuildZip({good, {"second.txt", "data", 0, true}}), 404, "", InstallMessage(InstallResult::EntryUnreadable), nullptr},
        {"an unknown method", BuildZip({good, {"second.txt", "data", 14}}), 404, "", InstallMessage(InstallResult::EntryNotOpened), nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        site.Route("/next.zip", 200, c.archive);
        site.Route("/next.zip.sig", c.signatureStatus, c.signature);
        EXPECT_EQ(Check("version=1.08\r\nfile=/next.zip\r\n", c.key), 0);
        EXPECT_EQ(AppConfig.errorText, c.message);
        Paths paths{"/keldatx.txt", "/next.zip", "/next.zip.sig"};
        EXPECT_EQ(site.TakePaths(), Paths(paths.begin(), paths.end() - !c.key));
        EXPECT_TRUE(Untouched());
    }
}

TEST_F(Install, EachFailureUndoesEverythingAndOnlyASuccessKeepsTheOldFilesAside) {
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
    // Nine renames: four entries in, three old files aside, two older backups on hold; none fails in the last.
    for (int move = 1; move <= 10; ++move) cases.push_back({"rename " + std::to_string(move), InstallResult::FileNotCreated, nullptr, nullptr, nullptr, move});
    cases.back().result = InstallResult::Installed;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.readOnly) SetFileAttributesA(c.readOnly, FILE_ATTRIBUTE_READONLY);
        auto before = Snapshot();
        HANDLE held = CreateFileA(c.heldOpen ? c.heldOpen : "", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
        FailingFiles files;
        files.failingMove = c.failingMove;
        files.quota = c.quota;
        std::vector<ZipEntry> release = kRelease;
        if (c.missingFolder) release.push_back({c.missingFolder, "y"});
        InstallResult result = Unpack(BuildZip(release), std::move(files));
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        ASSERT_EQ(result, c.result);
        if (result == InstallResult::Installed) break;
        EXPECT_EQ(Snapshot(), before);
        EXPECT_EQ(InstallFailureMessage(result), InstallMessage(c.result));
        SetFileAttributesA(c.readOnly ? c.readOnly : "", FILE_ATTRIBUTE_NORMAL);
    }
    EXPECT_EQ(Snapshot(), (decltype(Snapshot()){{"./kelda_tx.exe", kRelease[0].data}, {"./_kelda_tx.exe", "old"},
                                                {"./sub/x.dll", "new x"}, {"./sub/_x.dll", "old x"}, {"./readme.txt", "new"},
                                                {"./_readme.txt", "old"}, {"./fresh.txt", "fresh"}}));
}

TEST(EntryName, OnlyPlainRelativePathsInsideTheFolderPass) {
    for (const char* name : {"kelda_tx.exe", "sub/file.dll", "sub\\deeper\\f.dll", "console.txt", "com10", "lpt", ".hidden"}) {
        EXPECT_TRUE(IsPlainRelativeName(name, std::strlen(name))) << name;
    }
    for (const char* name : {"", "/x", "\\x", "C:\\x", "C:x", "\\\\server\\share\\x", "..", "a/../../x", "./x", "x:stream",
                             "a//b", "dir/", "name.", "name ", "a\x01" "b", "a*b", "a?b", "a|b", "a\"b", "a<b", "a>b",
                             "CON", "nul.txt", "COM1", "lpt5.dat", "conout$", "sub\\com1.exe", "nul .txt", "COM\xB9"}) {
        EXPECT_FALSE(IsPlainRelativeName(name, std::strlen(name))) << name;
    }
    EXPECT_FALSE(IsPlainRelativeName("good.txt\0..\\evil", 16));  // a NUL inside the recorded length
}
