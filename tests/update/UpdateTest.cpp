#include <winsock2.h>
#include <shlwapi.h>

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
#include "update/UpdateCheck.h"
#include "update/UpdateMarker.h"
#include "zlib.h"

// The archives were made and signed with throwaway keys as this exe was built (make-signed-releases.sh): release.zip
// holds update_probe.txt ("signed contents") and sub/x.dll ("x"), outside.zip "..\x" between them.
namespace {
std::string ReadBytes(const std::string& path) { return {std::istreambuf_iterator<char>(std::ifstream(path, std::ios::binary).rdbuf()), {}}; }
void WriteBytes(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

const wchar_t kNoServer[] = L"Нет связи с сервером. Попробуйте запустить программу позже.";
const wchar_t kOutdated[] = L"Версия устарела.\nТребуется обновить программу.";
using R = InstallResult;
using Paths = std::vector<std::string>;
std::wstring InstallMessage(R result) {  // what each failed install shows the user, word for word
    const wchar_t* const reasons[] = {L"Битый архив.", L"Не могу перейти к первому файлу в архиве.", L"Открытие файла в архиве провалено.",
                                      L"Создание файла провалено.", L"Ошибка при записи файла.", L"Ошибка при распаковке файла."};
    return L"Ошибка обновления программы.\n" + std::wstring(reasons[static_cast<int>(result) - 1]) + L"\nОбновите программу вручную.";
}

// The real file operations, the n-th of them (writes and renames counted together) failing; a failing write
// writes half its bytes first, as a disk that fills up does.
struct FailingFiles : InstallFileLayer {
    int nth = 0, done = 0;
    bool Write(HANDLE f, const char* d, DWORD n) override { return ++done == nth ? (InstallFileLayer::Write(f, d, n / 2), false) : InstallFileLayer::Write(f, d, n); }
    bool Move(const char* from, const char* to) override { return ++done != nth && InstallFileLayer::Move(from, to); }
};

std::string LittleEndian(unsigned long value, int bytes) { return bytes ? static_cast<char>(value) + LittleEndian(value >> 8, bytes - 1) : ""; }
// A zip archive of entries whose data stands as given (stored, or raw deflate) under the size and checksum they
// declare, which need not be the truth.
struct ZipEntry { std::string name, data; int method; uLong crc, size; };
std::string Zip(const std::vector<ZipEntry>& entries) {
    std::string local, central;
    for (const ZipEntry& e : entries) {  // from "version needed" to the extra field's length, alike in both headers
        const std::string fields = LittleEndian(20, 4) + LittleEndian(e.method, 2) + LittleEndian(0x21ul << 16, 4) +
            LittleEndian(e.crc, 4) + LittleEndian(e.data.size(), 4) + LittleEndian(e.size, 4) + LittleEndian(e.name.size(), 4);
        central += "PK\1\2" + LittleEndian(20, 2) + fields + std::string(10, '\0') + LittleEndian(local.size(), 4) + e.name;
        local += "PK\3\4" + fields + e.name + e.data;
    }
    const std::string count = LittleEndian(entries.size(), 2);  // on this disk and in all
    return local + central + "PK\5\6" + LittleEndian(0, 4) + count + count + LittleEndian(central.size(), 4) + LittleEndian(local.size(), 4) + LittleEndian(0, 2);
}
// `megabytes` of zeros, deflated raw: a megabyte flushed whole (it needs no earlier data) as often as asked, then
// the last block, an empty one.
std::string DeflatedZeros(unsigned megabytes) {
    std::vector<Bytef> zeros(1 << 20), megabyte(4096);
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    z.next_in = zeros.data(), z.avail_in = 1 << 20, z.next_out = megabyte.data(), z.avail_out = 4096;
    deflate(&z, Z_FULL_FLUSH);
    deflateEnd(&z);
    std::string deflated;
    while (megabytes--) deflated.append(reinterpret_cast<char*>(megabyte.data()), z.total_out);
    return deflated + std::string("\3\0", 2);
}

// An empty folder, whatever a run ended in the middle of a case left there (read-only files too).
void MakeFresh(const std::filesystem::path& folder) {
    std::error_code none;
    for (const auto& item : std::filesystem::recursive_directory_iterator(folder, none))
        SetFileAttributesW(item.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
}

using Files = std::map<std::string, std::string>;  // by name
Files Snapshot() {
    Files files;
    for (const auto& item : std::filesystem::recursive_directory_iterator("."))
        if (item.is_regular_file()) files[item.path().generic_string()] = ReadBytes(item.path().string());
    return files;
}

// The check as version 1.07 against a server of its own, in the test exe's folder (ctest's working folder: it has no
// "sub" folder, so no archive installs whole, which would restart the exe) beside the probe's old contents, with no
// note of an earlier update (one a killed run left would pass for this start's). Downloads go to a fresh temporary
// folder named in Cyrillic, as a user name may put it, where 8-bit names can't reach.
class UpdateCheckTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(AppConfig.http.SetServer(L"127.0.0.1", site.Port()), 1);
        CopyFixedText(AppConfig.version, L"1.07");
        for (const wchar_t* stale : {kUpdateMarkerName, L"_update_probe.txt", L"..\\x"}) DeleteFileW(stale);
        WriteBytes("update_probe.txt", "old contents");
        GetEnvironmentVariableW(L"TMP", savedTemporary, MAX_PATH);
        MakeFresh(temporary);
        SetEnvironmentVariableW(L"TMP", temporary.c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableW(L"TMP", *savedTemporary ? savedTemporary : nullptr);
        for (const wchar_t* made : {kUpdateMarkerName, L"update_probe.txt"}) DeleteFileW(made);
    }
    // As the program's one check finds them: an empty document, and a text that only a failure replaces.
    void Fresh() { AppConfig.document.Clear(); CopyFixedText(AppConfig.errorText, L"earlier text"); }
    // No download left, the probe as it was with no backup beside it, and nothing outside the folder.
    void ExpectUntouched() {
        EXPECT_TRUE(std::filesystem::is_empty(temporary)) << "a download was left";
        EXPECT_EQ(ReadBytes("update_probe.txt") + ReadBytes("_update_probe.txt") + ReadBytes("..\\x"), "old contents");
    }
    TestServer site;
    const std::filesystem::path temporary = std::filesystem::absolute(L"Временные файлы");
    wchar_t savedTemporary[MAX_PATH] = {};
};
}  // namespace

// Every archive is missing: only a version the manifest names compatible goes on, and the starts after the update
// which installed the offered version do not fetch it again for as long as the manifest offers it. Each check loads
// the stored settings first, even one that finds no server; only a manifest that came clears the leftovers of the
// last update away (its note too), and its entries join those the document held.
TEST_F(UpdateCheckTest, TheManifestDecidesWhatIsFetchedAndWhetherThisVersionGoesOn) {
    AppConfig.StoreCredentials(L"stored", L"storedpw");
    AppConfig.autoConnect = 1;
    AppConfig.SaveSettings();
    const std::string rest = "\r\nfile=/next.zip\r\ncompabilitywith=1.07\r\n", offers108 = "version=1.08" + rest;
    // The manifest (empty: 404); the note an update left before this start (null: none) and the one after it; the
    // archive's path asked for (null: none).
    const struct { std::string manifest; const wchar_t* notedBefore; int result; const char* archive; const wchar_t* noted; const wchar_t* message = L"earlier text"; } cases[] = {
        {"version=1.07\r\nfile=/next.zip\r\n", nullptr, 1, nullptr, L""},
        {"version=1.08\r\nfile=/next.zip\r\ncompabilitywith=1.05,1.07\r\n", nullptr, 1, "/next.zip", L""},
        {"version=1.08\r\nfile=/next.zip\r\ncompabilitywith=1.06\r\n", nullptr, 0, "/next.zip", L"", kOutdated},
        {offers108, L"1.08", 1, nullptr, L"1.08"}, {offers108, nullptr, 1, nullptr, L"1.08"}, {offers108, nullptr, 1, nullptr, L"1.08"},
        {"version=1.07\r\n", L"1.08", 1, nullptr, L""},
        // Only the very text is this version: not a newer or an older one, nor one that reads as the same number.
        {"version=1.09" + rest, nullptr, 1, "/next.zip", L""}, {"version=1.06" + rest, nullptr, 1, "/next.zip", L""},
        {"version=1.070" + rest, nullptr, 1, "/next.zip", L""}, {"version=1.7" + rest, nullptr, 1, "/next.zip", L""},
        // A key that is missing leaves the value the lookup before found: no "file" asks for the version's text as the
        // path, no "compabilitywith" looks for this version in the archive's path.
        {"version=1.08\r\ncompabilitywith=1.07\r\n", nullptr, 1, "1.08", L""},
        {"version=1.08\r\nfile=/1.07/next.zip\r\n", nullptr, 1, "/1.07/next.zip", L""},
        {"", L"1.08", 0, nullptr, L"1.08", kNoServer},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.manifest);
        site.Route("/keldatx.txt", c.manifest.empty() ? 404 : 200, c.manifest);
        if (c.notedBefore) LeaveUpdateMarker(c.notedBefore);
        Fresh();
        KeyValueDocument::SetEntry(AppConfig.document.GetOrAddSection(L"earlier"), L"key", L"kept", false);
        AppConfig.StoreCredentials(L"", L"");
        AppConfig.autoConnect = 0;
        EXPECT_EQ(AppConfig.CheckForUpdate(), c.result);
        EXPECT_EQ(site.TakePaths(), c.archive ? Paths({"/keldatx.txt", c.archive}) : Paths({"/keldatx.txt"}));
        EXPECT_STREQ(AppConfig.errorText, c.message);
        std::wstring noted, value;
        ReadUpdateMarker(noted);
        EXPECT_EQ(noted, c.noted);
        EXPECT_EQ(AppConfig.document.GetValue(L"", L"version", value), !c.manifest.empty());
        EXPECT_TRUE(AppConfig.document.GetValue(L"earlier", L"key", value));
        EXPECT_EQ(AppConfig.login + (L"," + std::wstring(AppConfig.password)) + std::to_wstring(AppConfig.autoConnect), L"stored,storedpw1");
        ExpectUntouched();
    }
    SHDeleteKeyW(HKEY_CURRENT_USER, L"Software\\kelda");
}

// "Отмена" while the manifest comes counts as no server; while the archive comes, as an archive that can't be fetched
// (a compatible version goes on). Both trickle, so only the cancel ends them before the exe's time-out.
TEST_F(UpdateCheckTest, ACancelEndsTheDownloadUnderWayAndTouchesNothing) {
    const UpdateKey noKey;
    const struct { bool duringManifest; std::string compatible; int result; const wchar_t* message; } rows[] = {
        {true, "1.07", 0, kNoServer}, {false, "1.05,1.07", 1, L"earlier text"}, {false, "1.06", 0, kOutdated},
    };
    site.Route("/next.zip", Trickle(1024));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.compatible + (row.duringManifest ? " during the manifest" : " during the archive"));
        if (row.duringManifest) site.Route("/keldatx.txt", Trickle(60));
        else site.Route("/keldatx.txt", 200, "version=1.08\r\nfile=/next.zip\r\ncompabilitywith=" + row.compatible + "\r\n");
        Fresh();
        UpdateCheck check(noKey);
        check.Start(nullptr);
        while (!(row.duringManifest ? site.TakePaths().size() == 1 : check.Progress().received > 0)) Sleep(10);
        EXPECT_EQ(check.Stage(), row.duringManifest ? UpdateStage::Manifest : UpdateStage::Archive);
        EXPECT_EQ(check.Progress().expected.load(), row.duringManifest ? 0u : 1u << 20);
        check.Cancel();
        EXPECT_EQ(check.Finish(), row.result);
        EXPECT_STREQ(AppConfig.errorText, row.message);
        ExpectUntouched();
    }
}

// With the provider's key (the test exe holds it as a build holds its own) only its signature of that very archive
// gets to the install; without a key none is asked for. An install that begins stops at its first entry in "sub".
TEST_F(UpdateCheckTest, OnlyAnArchiveUnderItsProvidersSignatureReachesTheInstall) {
    site.Route("/keldatx.txt", 200, "version=1.08\r\nfile=/next.zip\r\n");
    const std::string release = ReadBytes("update\\signed\\release.zip");
    const std::string signature = ReadBytes("update\\signed\\release.zip.provider.sig");
    std::string touched = release, badCrc = release, unknownMethod = release;
    touched[10] ^= 1;  // the first entry's time: the zip reader passes it, only the signature tells
    badCrc[release.find("signed contents")] ^= 1;
    unknownMethod[8] = unknownMethod[release.find("PK\1\2") + 10] = 14;  // LZMA in both headers: unknown here
    std::vector<unsigned char> unusableBlob(kTestUpdateKey.blob, kTestUpdateKey.blob + kTestUpdateKey.size);
    unusableBlob[8] = 'X';  // no "RSA1": the system can't take the key, as one without SHA-256 can't verify
    const UpdateKey unusable{unusableBlob.data(), static_cast<unsigned long>(unusableBlob.size())};
    const std::wstring broken = InstallMessage(R::BrokenArchive), notCreated = InstallMessage(R::FileNotCreated);
    // Past the archive's bounds: a length over 64 MiB, a body without one that grows past it, 1,001 entries, data
    // that unpacks past its entry's declared size, or past 256 MiB in all (a bomb of some 260 KB), a name of 259
    // bytes (258 and a terminator fill the name buffer). Either body is 64 MiB and a byte, which a download without
    // the bound would save, to find no zip in it.
    auto past64MiB = [](const std::string& length) {
        return [head = "HTTP/1.0 200 OK\r\n" + length + "\r\n"](Peer& peer) {
            for (int i = 0; i <= 1024 && peer.Send(i ? std::string(1 << 16, 'z') : head + "z"); ++i) {
            }
        };
    };
    std::vector<ZipEntry> entries;
    for (int i = 0; i < 1000; ++i) entries.push_back({"sub/e" + std::to_string(i), "", 0, 0, 0});
    const std::string thousand = Zip(entries);
    entries.push_back({"e", "", 0, 0, 0});
    const std::string oneMegabyte = DeflatedZeros(1), bomb = DeflatedZeros(257);
    const uLong zerosCrc = crc32_z(0, std::vector<Bytef>(1 << 20).data(), 1 << 20);
    // No signature: 404. No key: none asked for. A script serves in place of the archive.
    const struct { std::string what, archive, signature; const UpdateKey* key; std::wstring message; TestServer::Script serve = nullptr; } cases[] = {
        {"its provider's signature", release, signature, &kTestUpdateKey, notCreated},
        {"no signature", release, "", &kTestUpdateKey, broken},
        {"other key's signature", release, ReadBytes("update\\signed\\release.zip.other.sig"), &kTestUpdateKey, broken},
        {"a truncated signature", release, signature.substr(1), &kTestUpdateKey, broken},
        {"a byte of the archive changed", touched, signature, &kTestUpdateKey, broken},
        {"no system to verify", release, signature, &unusable, kOutdated},
        {"a name outside", ReadBytes("update\\signed\\outside.zip"), "", nullptr, broken},
        {"a truncated download", release.substr(0, release.size() - 30), "", nullptr, broken},
        {"no entries", std::string("stubPK\5\6") + std::string(18, '\0'), "", nullptr, InstallMessage(R::NoFirstEntry)},
        {"a CRC mismatch", badCrc, "", nullptr, InstallMessage(R::EntryUnreadable)},
        {"an unknown method", unknownMethod, "", nullptr, InstallMessage(R::EntryNotOpened)},
        {"a length past 64 MiB", "", "", nullptr, kOutdated, past64MiB("Content-Length: 67108865\r\n")},
        {"no length, 64 MiB and more", "", "", nullptr, kOutdated, past64MiB("")},
        {"1,000 entries", thousand, "", nullptr, notCreated}, {"1,001 entries", Zip(entries), "", nullptr, broken},
        {"1 MiB declared as 1,000 bytes", Zip({{"update_probe.txt", oneMegabyte, 8, zerosCrc, 1000}}), "", nullptr, broken},
        {"257 MiB declared as 2 GiB", Zip({{"update_probe.txt", bomb, 8, 0, 0x7FFFFFFFul}}), "", nullptr, broken},
        {"a 258-byte name", Zip({{"sub/" + std::string(254, 'n'), "", 0, 0, 0}}), "", nullptr, notCreated},
        {"a 259-byte name", Zip({{"sub/" + std::string(255, 'n'), "", 0, 0, 0}}), "", nullptr, broken},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        site.Route("/next.zip", c.serve ? c.serve : [&c](Peer& peer) { peer.Reply(200, c.archive); });
        site.Route("/next.zip.sig", c.signature.empty() ? 404 : 200, c.signature);
        Fresh();
        EXPECT_EQ(c.key ? AppConfig.CheckForUpdate(*c.key) : AppConfig.CheckForUpdate(), 0);
        EXPECT_EQ(AppConfig.errorText, c.message);
        EXPECT_EQ(site.TakePaths(), c.key ? Paths({"/keldatx.txt", "/next.zip", "/next.zip.sig"}) : Paths({"/keldatx.txt", "/next.zip"}));
        ExpectUntouched();
    }
}

// A scratch folder made current, as the program's folder is: an old version and the read-only backup an earlier
// update left (a file read-only before an update keeps the attribute aside).
TEST(Install, EachFailureUndoesEverythingAndOnlyASuccessKeepsTheOldFilesAside) {
    const std::string blocks(10000, 'b');  // three blocks' worth for one entry
    WriteBytes("install_blocks.zip", Zip({{"update_probe.txt", blocks, 0, crc32(0, reinterpret_cast<const Bytef*>(blocks.data()), 10000), 10000}}));
    MakeFresh("install_scratch");
    std::filesystem::create_directory("install_scratch/sub");
    SetCurrentDirectoryA("install_scratch");
    for (const auto& [name, bytes] : Files{{"update_probe.txt", "old"}, {"_update_probe.txt", "older"}, {"sub\\x.dll", "old x"}}) WriteBytes(name, bytes);
    SetFileAttributesA("_update_probe.txt", FILE_ATTRIBUTE_READONLY);
    // By the operation that fails: a write of each entry; five renames (the older backup on hold, the old files
    // aside, the entries in); the disk full in the middle of an entry's second block. Then a folder in the way,
    // under an entry's backup name or its own: nothing moves. Last, none fails.
    const struct { int failing; const char* folder; R result; const char* archive = "..\\update\\signed\\release.zip"; } rows[] = {
        {1, nullptr, R::WriteFailed}, {2, nullptr, R::WriteFailed}, {3, nullptr, R::FileNotCreated},
        {4, nullptr, R::FileNotCreated}, {5, nullptr, R::FileNotCreated}, {6, nullptr, R::FileNotCreated},
        {7, nullptr, R::FileNotCreated}, {2, nullptr, R::WriteFailed, "..\\install_blocks.zip"},
        {0, "sub\\_x.dll", R::FileNotCreated}, {0, "sub\\x.dll", R::FileNotCreated}, {0, nullptr, R::Installed},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.archive) + ": operation " + std::to_string(row.failing) + " fails, a folder at " + (row.folder ? row.folder : "none"));
        const bool heldFile = row.folder && MoveFileA(row.folder, "held_aside");
        if (row.folder) CreateDirectoryA(row.folder, nullptr);
        auto before = Snapshot();
        FailingFiles files;
        files.nth = row.failing;
        ASSERT_EQ(InstallArchive(row.archive, files), row.result);
        if (row.result == R::Installed) break;
        EXPECT_EQ(Snapshot(), before);
        EXPECT_TRUE(GetFileAttributesA("_update_probe.txt") & FILE_ATTRIBUTE_READONLY);
        EXPECT_EQ(InstallFailureMessage(row.result), InstallMessage(row.result));
        EXPECT_TRUE(!row.folder || RemoveDirectoryA(row.folder)) << "the folder was moved";
        if (heldFile) MoveFileA("held_aside", row.folder);
    }
    EXPECT_EQ(Snapshot(), Files({{"./update_probe.txt", "signed contents"}, {"./_update_probe.txt", "old"}, {"./sub/x.dll", "x"}, {"./sub/_x.dll", "old x"}}));
    SetCurrentDirectoryA("..");  // the folder stays until the next run, for a look after a failure
}

TEST(EntryName, NoneThatLeavesTheFolderOrNamesADeviceOrStreamPasses) {
    for (std::string name : {"", "\\x", "C:\\x", "C:x", "\\\\server\\share\\x", "..", "..\\x", "a/../../x", "x:stream",
                             "a//b", "name.", "name ", "a*b", "CON", "nul.txt", "sub\\com1.exe", "COM\xB9"})
        EXPECT_FALSE(IsPlainRelativeName(name.c_str(), name.size())) << name;
    EXPECT_FALSE(IsPlainRelativeName("good.txt\0..\\evil", 16));  // a NUL inside the recorded length
}
