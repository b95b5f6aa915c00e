#include "app/RunApplication.h"

#include "app/MainFrame.h"
#include "app/SingleInstance.h"
#include "app/UpdateWindow.h"
#include "framework/AppModule.h"
#include "framework/MessageLoop.h"
#include "settings/AppConfig.h"

int RunApplication(LPWSTR /*commandLine*/, int showCommand) {
    // Before anything reads the registry, writes the phonebook or adds a tray icon.
    SingleInstance instance;
    if (!instance.Claim()) return 0;

    CMessageLoop loop;
    appModule.AddMessageLoop(&loop);

    int check = CheckForUpdateShown();
    if (check != 1) {
        if (check == 0) MessageBoxW(nullptr, AppConfig.errorText, L"Ошибка инициализации приложения", MB_OK);
        appModule.RemoveMessageLoop();
        return 0;
    }

    CMainFrame frame;
    RECT workArea{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0);
    HWND window = frame.CreateFrame(FrameRectFromWorkArea(workArea));
    if (!window) {
        appModule.RemoveMessageLoop();
        return 0;
    }
    ShowWindow(window, AppConfig.hideOnStart ? SW_HIDE : showCommand);

    int result = loop.Run();
    appModule.RemoveMessageLoop();
    AppConfig.SaveSettings();
    return result;
}
