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
#include "update/UpdateMarker.h"

namespace {
// What the update window showed when it was seen at last; shown stays false when it never appeared.
struct Seen {
    bool shown = false, centred = false, icon = false;
    std::wstring caption, text, button;
    LONG_PTR buttonId = 0, barPosition = 0, barMaximum = 0;
};
using Ready = bool (*)(const Seen&);

// Watches for the update window from a thread of its own (the test's thread runs the check's loop) and, once it
// shows a text that `ready` (if any) accepts, reads it and presses "Отмена".
Seen Watch(const std::atomic<bool>& ended, Ready ready) {
    Seen seen;
    for (; !ended; Sleep(10)) {
        HWND window = FindWindowW(kUpdateWindowClassName, nullptr);
        if (!window || !IsWindowVisible(window)) continue;
        HWND bar = FindWindowExW(window, nullptr, PROGRESS_CLASSW, nullptr), button = GetDlgItem(window, IDCANCEL);
        RECT work{}, rect{};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        GetWindowRect(window, &rect);
        seen = {true,
                std::abs(rect.left + rect.right - work.left - work.right) <= 1 &&
                    std::abs(rect.top + rect.bottom - work.top - work.bottom) <= 1,
                GetClassLongPtrW(window, GCLP_HICON) != 0, TextOf(window),
                TextOf(FindWindowExW(window, nullptr, L"Static", nullptr)), TextOf(button),
                GetWindowLongPtrW(button, GWLP_ID), SendMessageW(bar, PBM_GETPOS, 0, 0),
                SendMessageW(bar, PBM_GETRANGE, FALSE, 0)};
        if (ready && ready(seen)) {
            SendMessageW(button, BM_CLICK, 0, 0);
            break;
        }
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
    DeleteFileW(kUpdateMarkerName);  // an earlier run's note of 1.08 would keep the archive from being fetched
    // "N КБ из M КБ": N of the kilobytes come, M of the length; the bar stands at N of M.
    Ready loading = [](const Seen& seen) {
        const long kilobytes = seen.text.size() > 21 ? std::wcstol(seen.text.c_str() + 21, nullptr, 10) : 0;
        return kilobytes > 0 && seen.text == L"Загрузка обновления: " + std::to_wstring(kilobytes) + L" КБ из 1024 КБ" &&
               seen.barPosition == kilobytes && seen.barMaximum == 1024;
    };
    const struct { const char* what; TestServer::Script manifest; Ready ready; int result; const wchar_t* message; } rows[] = {
        {"the same version at once", [](Peer& peer) { peer.Reply(200, "version=1.07\r\n"); }, nullptr, 1, L"earlier"},
        {"a manifest that trickles", Trickle(60), [](const Seen& seen) { return seen.text == L"Проверка обновлений…"; }, 0, L"Нет связи с сервером. Попробуйте запустить программу позже."},
        {"an archive that trickles", [](Peer& peer) { peer.Reply(200, "version=1.08\r\nfile=/next.zip\r\ncompabilitywith=1.07\r\n"); }, loading, 1, L"earlier"},
    };  // ready null: no window
    site.Route("/next.zip", Trickle(1024));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        site.Route("/keldatx.txt", row.manifest);
        AppConfig.document.Clear();
        CopyFixedText(AppConfig.errorText, L"earlier");
        std::atomic<bool> ended{false};
        Seen seen;
        std::thread watcher([&] { seen = Watch(ended, row.ready); });
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
