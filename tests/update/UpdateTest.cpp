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
#include "update/UpdateCheck.h"
#include "update/UpdateMarker.h"
#include "zlib.h"

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

// A zip archive of entries whose data stands as given (stored, or raw deflate) under the size and checksum they
// declare, which need not be the truth.
struct ZipEntry { std::string name, data; int method; uLong crc, size; };
std::string Zip(const std::vector<ZipEntry>& entries) {
    auto put = [](std::string& out, unsigned long value, int bytes) {
        for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i));
    };
    std::string local, central, end = "PK\5\6";
    for (const ZipEntry& e : entries) {
        std::string fields;  // from "version needed" to the extra field's length: the same in both headers
        for (unsigned long value : {20ul, 0ul, static_cast<unsigned long>(e.method), 0ul, 0x21ul}) put(fields, value, 2);
        for (unsigned long value : {e.crc, static_cast<uLong>(e.data.size()), e.size}) put(fields, value, 4);
        put(fields, e.name.size(), 2);
        put(fields, 0, 2);
        central += "PK\1\2" + std::string("\24\0") + fields + std::string(10, '\0');
        put(central, local.size(), 4);
        central += e.name;
        local += "PK\3\4" + fields + e.name + e.data;
    }
    const auto count = static_cast<unsigned long>(entries.size());
    for (unsigned long value : {0ul, 0ul, count, count}) put(end, value, 2);
    put(end, central.size(), 4);
    put(end, local.size(), 4);
    put(end, 0, 2);
    return local + central + end;
}
// `megabytes` of zeros, deflated raw.
std::string DeflatedZeros(unsigned megabytes) {
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::vector<Bytef> zeros(1 << 20), out(1 << 16);
    std::string deflated;
    for (unsigned i = 0; i <= megabytes; ++i) {
        z.next_in = zeros.data();
        z.avail_in = i < megabytes ? static_cast<uInt>(zeros.size()) : 0;
        do {
            z.next_out = out.data();
            z.avail_out = static_cast<uInt>(out.size());
            deflate(&z, i < megabytes ? Z_NO_FLUSH : Z_FINISH);
            deflated.append(reinterpret_cast<char*>(out.data()), out.size() - z.avail_out);
        } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    return deflated;
}

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

// Every archive is missing: only a version the manifest names compatible goes on, and the starts after the update
// which installed the offered version do not fetch it again for as long as the manifest offers it.
TEST(UpdateCheck, TheManifestDecidesWhatIsFetchedAndWhetherThisVersionGoesOn) {
    TestServer site;
    ASSERT_EQ(AppConfig.http.SetServer(L"127.0.0.1", site.Port()), 1);
    CopyFixedText(AppConfig.version, L"1.07");
    DeleteFileW(kUpdateMarkerName);  // one a killed run left would pass for this start's
    const std::string offers108 = "version=1.08\r\nfile=/next.zip\r\ncompabilitywith=1.07\r\n";
    // The note an update left (null: none left before this start), and the one that stands after it.
    const struct { std::string manifest; const wchar_t* installedBefore; int result; size_t fetched; const wchar_t* noted; } cases[] = {
        {"version=1.07\r\nfile=/next.zip\r\n", nullptr, 1, 1, L""},
        {"version=1.08\r\nfile=/next.zip\r\ncompabilitywith=1.05,1.07\r\n", nullptr, 1, 2, L""},
        {"version=1.08\r\nfile=/next.zip\r\ncompabilitywith=1.06\r\n", nullptr, 0, 2, L""},
        {offers108, L"1.08", 1, 1, L"1.08"}, {offers108, nullptr, 1, 1, L"1.08"}, {offers108, nullptr, 1, 1, L"1.08"},
        {"version=1.09\r\nfile=/next.zip\r\ncompabilitywith=1.07\r\n", nullptr, 1, 2, L""},
        {"version=1.07\r\n", L"1.08", 1, 1, L""},
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
        std::wstring noted;
        ReadUpdateMarker(noted);
        EXPECT_EQ(noted, c.noted);
    }
}

// "Отмена" while the manifest comes counts as no server; while the archive comes, as an archive that can't be fetched
// (a compatible version goes on). Both trickle 1 KB in 200 ms, so only the cancel ends them before the exe's time-out.
TEST(UpdateCheck, ACancelEndsTheDownloadUnderWayAndTouchesNothing) {
    TestServer site;
    ASSERT_EQ(AppConfig.http.SetServer(L"127.0.0.1", site.Port()), 1);
    CopyFixedText(AppConfig.version, L"1.07");
    DeleteFileW(kUpdateMarkerName);
    WriteBytes("update_probe.txt", "old contents");
    auto trickle = [](size_t kilobytes) {
        std::vector<std::string> pieces(kilobytes, std::string(1024, 'k'));
        pieces[0] = "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(kilobytes * 1024) + "\r\n\r\n" + pieces[0];
        return [pieces](Peer& peer) { peer.SendPieces(pieces, 200); };
    };
    const UpdateKey noKey;
    const std::filesystem::path temporary = std::filesystem::absolute("cancel_tmp");
    std::filesystem::remove_all(temporary);
    std::filesystem::create_directory(temporary);
    wchar_t saved[MAX_PATH] = {};
    GetEnvironmentVariableW(L"TMP", saved, MAX_PATH);
    SetEnvironmentVariableW(L"TMP", temporary.c_str());
    const struct { bool duringManifest; std::string compatible; int result; const wchar_t* message; } rows[] = {
        {true, "1.07", 0, L"Нет связи с сервером. Попробуйте запустить программу позже."},
        {false, "1.05,1.07", 1, L"earlier text"},
        {false, "1.06", 0, L"Версия устарела.\nТребуется обновить программу."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.compatible + (row.duringManifest ? " during the manifest" : " during the archive"));
        const std::string manifest = "version=1.08\r\nfile=/next.zip\r\ncompabilitywith=" + row.compatible + "\r\n";
        if (row.duringManifest) site.Route("/keldatx.txt", trickle(60));
        else site.Route("/keldatx.txt", 200, manifest);
        site.Route("/next.zip", trickle(1024));
        AppConfig.document.Clear();
        CopyFixedText(AppConfig.errorText, L"earlier text");
        UpdateCheck check(noKey);
        check.Start(nullptr);
        auto fetching = [&] { return row.duringManifest ? site.TakePaths().size() == 1 : check.Progress().received > 0; };
        while (!fetching()) Sleep(10);
        EXPECT_EQ(check.Stage(), row.duringManifest ? UpdateStage::Manifest : UpdateStage::Archive);
        EXPECT_EQ(check.Progress().expected.load(), row.duringManifest ? 0u : 1u << 20);
        check.Cancel();
        EXPECT_EQ(check.Finish(), row.result);
        EXPECT_STREQ(AppConfig.errorText, row.message);
        EXPECT_EQ(ReadBytes("update_probe.txt") + ReadBytes("_update_probe.txt"), "old contents");
        EXPECT_TRUE(std::filesystem::is_empty(temporary)) << "a download was left";
    }
    SetEnvironmentVariableW(L"TMP", *saved ? saved : nullptr);
    DeleteFileA("update_probe.txt");
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
    const std::wstring broken = InstallMessage(R::BrokenArchive), outdated = L"Версия устарела.\nТребуется обновить программу.";
    // Past the archive's bounds: a length over 64 MiB, a body without one that grows past it, 1,001 entries, data
    // that unpacks past its entry's declared size, or past 256 MiB in all (a bomb of some 260 KB).
    // Either body is 64 MiB and a byte, which a download without the bound would save, to find no zip in it.
    auto pastSizeBound = [](bool withLength) {
        return [withLength](Peer& peer) {
            const std::string block(1 << 16, 'z');
            peer.Send("HTTP/1.0 200 OK\r\n" +
                      (withLength ? "Content-Length: " + std::to_string((64 << 20) + 1) + "\r\n\r\n" : "\r\n") + "z");
            for (int i = 0; i < 1024 && peer.Send(block); ++i) {
            }
        };
    };
    std::vector<ZipEntry> manyEntries;
    for (int i = 0; i <= 1000; ++i) manyEntries.push_back({"e" + std::to_string(i), "", 0, 0, 0});
    const std::string oneMegabyte = DeflatedZeros(1), bomb = DeflatedZeros(257);
    const uLong zerosCrc = crc32_z(0, std::vector<Bytef>(1 << 20).data(), 1 << 20);
    const struct {
        std::string what, archive, signature;  // no signature: 404
        const UpdateKey* key;
        std::wstring message;
        TestServer::Script serve = nullptr;  // in place of the archive
    } cases[] = {
        // Past the signature the install starts, and stops at the entry for a folder that doesn't exist.
        {"its provider's signature", release, signature, &kTestUpdateKey, InstallMessage(R::FileNotCreated)},
        {"no signature", release, "", &kTestUpdateKey, broken},
        {"other key's signature", release, ReadBytes("update\\signed\\release.zip.other.sig"), &kTestUpdateKey, broken},
        {"a truncated signature", release, signature.substr(1), &kTestUpdateKey, broken},
        {"a byte of the archive changed", touched, signature, &kTestUpdateKey, broken},
        {"no system to verify", release, signature, &unusable, outdated},
        {"a name outside", ReadBytes("update\\signed\\outside.zip"), "", nullptr, broken},
        {"a truncated download", release.substr(0, release.size() - 30), "", nullptr, broken},
        {"no entries", std::string("stubPK\5\6") + std::string(18, '\0'), "", nullptr, InstallMessage(R::NoFirstEntry)},
        {"a CRC mismatch", badCrc, "", nullptr, InstallMessage(R::EntryUnreadable)},
        {"an unknown method", unknownMethod, "", nullptr, InstallMessage(R::EntryNotOpened)},
        {"a length past 64 MiB", "", "", nullptr, outdated, pastSizeBound(true)},
        {"no length, 64 MiB and more", "", "", nullptr, outdated, pastSizeBound(false)},
        {"1,001 entries", Zip(manyEntries), "", nullptr, broken},
        {"1 MiB declared as 1,000 bytes", Zip({{"update_probe.txt", oneMegabyte, 8, zerosCrc, 1000}}), "", nullptr, broken},
        {"257 MiB declared as 2 GiB", Zip({{"update_probe.txt", bomb, 8, 0, 0x7FFFFFFFul}}), "", nullptr, broken},
    };
    // A user name in Cyrillic puts the temporary folder where 8-bit names can't reach.
    wchar_t saved[MAX_PATH] = {}, temporary[MAX_PATH] = {};
    GetEnvironmentVariableW(L"TMP", saved, MAX_PATH);
    GetFullPathNameW(L"Временные файлы", MAX_PATH, temporary, nullptr);
    MakeFresh(temporary);
    SetEnvironmentVariableW(L"TMP", temporary);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.serve) site.Route("/next.zip", c.serve);
        else site.Route("/next.zip", 200, c.archive);
        site.Route("/next.zip.sig", c.signature.empty() ? 404 : 200, c.signature);
        AppConfig.document.Clear();  // as the program's one check finds it
        EXPECT_EQ(c.key ? AppConfig.CheckForUpdate(*c.key) : AppConfig.CheckForUpdate(), 0);
        EXPECT_EQ(AppConfig.errorText, c.message);
        std::vector<std::string> paths{"/keldatx.txt", "/next.zip", "/next.zip.sig"};
        EXPECT_EQ(site.TakePaths(), std::vector<std::string>(paths.begin(), paths.end() - !c.key));
        // The probe as it was, with no backup beside it and nothing outside the folder; no download left.
        EXPECT_EQ(ReadBytes("update_probe.txt") + ReadBytes("_update_probe.txt") + ReadBytes("..\\x"), "old contents");
        EXPECT_TRUE(std::filesystem::is_empty(temporary));
    }
    SetEnvironmentVariableW(L"TMP", *saved ? saved : nullptr);
    DeleteFileA("update_probe.txt");
    EXPECT_TRUE(RemoveDirectoryW(temporary)) << "a download was left in the temporary folder";
}

// A scratch folder made current, as the program's folder is: an old version and the read-only backup an earlier
// update left (a file read-only before an update keeps the attribute aside).
TEST(Install, EachFailureUndoesEverythingAndOnlyASuccessKeepsTheOldFilesAside) {
    MakeFresh("install_scratch");
    std::filesystem::create_directory("install_scratch/sub");
    SetCurrentDirectoryA("install_scratch");
    WriteBytes("update_probe.txt", "old");
    WriteBytes("_update_probe.txt", "older");
    WriteBytes("sub\\x.dll", "old x");
    SetFileAttributesA("_update_probe.txt", FILE_ATTRIBUTE_READONLY);
    // By the operation that fails: a write of each entry; five renames (the older backup on hold, the old files
    // aside, the entries in). Then a folder in the way, under an entry's backup name or its own: nothing moves.
    // Last, none fails.
    const struct { int failing; const char* folder; R result; } rows[] = {
        {1, nullptr, R::WriteFailed}, {2, nullptr, R::WriteFailed}, {3, nullptr, R::FileNotCreated},
        {4, nullptr, R::FileNotCreated}, {5, nullptr, R::FileNotCreated}, {6, nullptr, R::FileNotCreated},
        {7, nullptr, R::FileNotCreated}, {0, "sub\\_x.dll", R::FileNotCreated}, {0, "sub\\x.dll", R::FileNotCreated},
        {0, nullptr, R::Installed},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE("operation " + std::to_string(row.failing) + " fails, a folder at " + (row.folder ? row.folder : "none"));
        const bool heldFile = row.folder && MoveFileA(row.folder, "held_aside");
        if (row.folder) CreateDirectoryA(row.folder, nullptr);
        auto before = Snapshot();
        FailingFiles files;
        files.nth = row.failing;
        ASSERT_EQ(InstallArchive("..\\update\\signed\\release.zip", files), row.result);
        if (row.result == R::Installed) break;
        EXPECT_EQ(Snapshot(), before);
        EXPECT_TRUE(GetFileAttributesA("_update_probe.txt") & FILE_ATTRIBUTE_READONLY);
        EXPECT_EQ(InstallFailureMessage(row.result), InstallMessage(row.result));
        EXPECT_TRUE(!row.folder || RemoveDirectoryA(row.folder)) << "the folder was moved";
        if (heldFile) MoveFileA("held_aside", row.folder);
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
