#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "app/RunApplication.h"
#include "framework/AppModule.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPWSTR commandLine, int showCommand) {
    CoInitialize(nullptr);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    appModule.Init(instance);

    int result = RunApplication(commandLine, showCommand);

    appModule.Term();
    CoUninitialize();
    return result;
}
