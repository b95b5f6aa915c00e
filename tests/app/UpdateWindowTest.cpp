#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "app/UpdateWindow.h"
#include "res/resource.h"
#include "settings/AppConfig.h"
#include "support/TestServer.h"
#include "support/TestWindows.h"
#include "text/FixedText.h"

namespace {
// What the update window showed when it was seen at last; shown stays false when it never appeared.
struct Seen {
    bool shown = false, centred = false, icon = false;
    std::wstring caption, text, button;
    LONG_PTR buttonId = 0;
    LRESULT barPosition = 0, barMaximum = 0;
};

// Watches for the update window from a thread of its own (the test's thread runs the check's loop) and, once it
// shows a text that `ready` accepts, reads it and presses "Отмена".
using Ready = bool (*)(const Seen&);
Seen Watch(const std::atomic<bool>& ended, Ready ready) {
    Seen seen;
    while (!ended) {
        HWND window = FindWindowW(kUpdateWindowClassName, nullptr);
        if (!window || !IsWindowVisible(window)) {
            Sleep(10);
            continue;
        }
        HWND text = FindWindowExW(window, nullptr, L"Static", nullptr), bar = FindWindowExW(window, nullptr, PROGRESS_CLASSW, nullptr);
        HWND button = GetDlgItem(window, IDCANCEL);
        seen = Seen{};
        seen.shown = true;
        seen.caption = TextOf(window);
        seen.text = TextOf(text);
        seen.button = TextOf(button);
        seen.buttonId = GetWindowLongPtrW(button, GWLP_ID);
        seen.barPosition = SendMessageW(bar, PBM_GETPOS, 0, 0);
        seen.barMaximum = SendMessageW(bar, PBM_GETRANGE, FALSE, 0);
        seen.icon = GetClassLongPtrW(window, GCLP_HICON) != 0;
        RECT work{}, rect{};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        GetWindowRect(window, &rect);
        seen.centred = std::abs((rect.left + rect.right) - (work.left + work.right)) <= 1 &&
                       std::abs((rect.top + rect.bottom) - (work.top + work.bottom)) <= 1;
        if (ready(seen)) {
            SendMessageW(button, BM_CLICK, 0, 0);
            break;
        }
        Sleep(10);
    }
    return seen;
}
}  // namespace

// The check against a server in this process: one that answers at once shows no window; one that trickles the
// manifest or the archive (1 KB in 200 ms, for seconds or minutes) shows it after a second, until "Отмена" ends the check.
TEST(UpdateWindow, AppearsWhenTheCheckTakesASecondShowsItsProgressAndCancelsIt) {
    TestServer site;
    HttpClient before;
    before.CopyServer(AppConfig.http);
    ASSERT_EQ(AppConfig.http.SetServer(L"127.0.0.1", site.Port()), 1);
    CopyFixedText(AppConfig.version, L"1.07");
    auto trickled = [](size_t kilobytes) {  // within the manifest's 64 KB, or the archive of 1024 KB
        std::vector<std::string> pieces(kilobytes, std::string(1024, 'k'));
        pieces[0] = "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(kilobytes * 1024) + "\r\n\r\n" + pieces[0];
        return [pieces](Peer& peer) { peer.SendPieces(pieces, 200); };
    };
    // "N КБ из M КБ": N of the kilobytes come, M of the length; the bar stands at N of M.
    Ready checking = [](const Seen& seen) { return seen.text == L"Проверка обновлений…"; };
    Ready loading = [](const Seen& seen) {
        const std::wstring prefix = L"Загрузка обновления: ", suffix = L" КБ из 1024 КБ";
        const std::wstring& text = seen.text;
        if (text.rfind(prefix, 0) != 0 || text.size() <= prefix.size() + suffix.size() ||
            text.compare(text.size() - suffix.size(), suffix.size(), suffix) != 0) {
            return false;
        }
        const long kilobytes = std::wcstol(text.c_str() + prefix.size(), nullptr, 10);
        return kilobytes > 0 && seen.barPosition == kilobytes && seen.barMaximum == 1024;
    };
    Ready never = [](const Seen&) { return false; };
    const std::string offers108 = "version=1.08\r\nfile=/next.zip\r\ncompabilitywith=1.07\r\n";
    const struct {
        const char* what;
        TestServer::Script manifest;
        Ready ready;  // null: no window expected
        int result;
        const wchar_t* message;
    } rows[] = {
        {"the same version at once", [](Peer& peer) { peer.Reply(200, "version=1.07\r\n"); }, nullptr, 1, L"earlier"},
        {"a manifest that trickles", trickled(60), checking, 0, L"Нет связи с сервером. Попробуйте запустить программу позже."},
        {"an archive that trickles", [&](Peer& peer) { peer.Reply(200, offers108); }, loading, 1, L"earlier"},
    };
    site.Route("/next.zip", trickled(1024));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        site.Route("/keldatx.txt", row.manifest);
        AppConfig.document.Clear();
        CopyFixedText(AppConfig.errorText, L"earlier");
        std::atomic<bool> ended{false};
        Seen seen;
        std::thread watcher([&] { seen = Watch(ended, row.ready ? row.ready : never); });
        const int result = CheckForUpdateShown();
        ended = true;
        watcher.join();
        EXPECT_EQ(result, row.result);
        EXPECT_STREQ(AppConfig.errorText, row.message);
        EXPECT_EQ(FindWindowW(kUpdateWindowClassName, nullptr), nullptr) << "the window outlived the check";
        EXPECT_EQ(seen.shown, row.ready != nullptr);
        if (!row.ready) continue;
        EXPECT_TRUE(row.ready(seen)) << seen.text;
        EXPECT_EQ(seen.caption + L"|" + seen.button + L"|" + std::to_wstring(seen.buttonId), L"Обновление kelda_tx|Отмена|2");
        EXPECT_TRUE(seen.centred && seen.icon);
    }
    AppConfig.http.CopyServer(before);
}
