#pragma once
#include <windows.h>
#include <ras.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "FakeRasState.h"
#include "settings/AppConfig.h"
#include "support/TestWindows.h"
#include "vpn/DialNotifier.h"
#include "vpn/RasConnection.h"

// Tests of the program's RAS code against the simulated service, whose state
// they read and steer directly (it is the same file rasctl.exe uses).
class FakeRasTest : public testing::Test {
protected:
    static std::wstring ServiceFolder() {
        return fakeras::ModuleFolder(GetModuleHandleW(L"rasapi32.dll"));
    }
    static fakeras::SharedState& Service() {
        static fakeras::SharedState state(ServiceFolder());
        return state;
    }

    void SetUp() override {
        // Wine's own rasapi32 would make every test meaningless.
        ASSERT_EQ(ServiceFolder(), fakeras::ModuleFolder(nullptr)) << "the simulated rasapi32.dll is not loaded";
        SetEnvironmentVariableW(L"KELDA_RAS_SCENARIO", nullptr);
        Service().Update([](fakeras::State& s) { fakeras::ForgetEverything(s); });
        AppConfig.StoreCredentials(L"subscriber", L"secret");
    }
    void TearDown() override {
        Service().Update([](fakeras::State& s) { fakeras::ForgetEverything(s); });
        dialStatusWindow = nullptr;
        view.reset();
        if (frame) DestroyWindow(frame);
    }

    void SetScenario(const wchar_t* name) {
        Service().Update([&](fakeras::State& s) { lstrcpynW(s.scenario, name, 32); });
    }
    // A connection started elsewhere.
    HRASCONN AddConnection(const wchar_t* entryName) {
        DWORD handle = 0;
        Service().Update([&](fakeras::State& s) {
            if (fakeras::Connection* c = fakeras::AddConnection(s, entryName, RASCS_Connected)) handle = c->handle;
        });
        return reinterpret_cast<HRASCONN>(static_cast<ULONG_PTR>(handle));
    }
    static DWORD StatusOf(HRASCONN handle, RASCONNSTATUSW* out = nullptr) {
        RASCONNSTATUSW status{};
        status.dwSize = sizeof status;
        DWORD result = RasGetConnectStatusW(handle, &status);
        if (out) *out = status;
        return result;
    }

    // Frame, view and progress label, as the program nests them; the view shows the states the
    // notifier posts to it, as the program's view does.
    static LRESULT CALLBACK ViewProc(HWND view, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_DIAL_STATE) ShowDialState(GetWindow(view, GW_CHILD), ReadDialState(wParam, lParam));
        return DefWindowProcW(view, message, wParam, lParam);
    }
    void CreateWindows() {
        frame = CreateWindowExW(0, L"STATIC", L"frame", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200,
                                nullptr, nullptr, nullptr, nullptr);
        view = std::make_unique<TestWindow>(ViewProc, frame);
        label = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 5, 87, 195, 48, view->Handle(), nullptr,
                                nullptr, nullptr);
        ASSERT_TRUE(frame && label);
        dialStatusWindow = label;
    }
    std::wstring LabelText() const {
        wchar_t text[300] = {};
        GetWindowTextW(label, text, 300);
        return text;
    }
    // Handles this thread's messages until the label starts with `prefix`, for at most timeoutMs.
    bool WaitForLabel(const std::wstring& prefix, DWORD timeoutMs = 10000) {
        return PumpUntil([&] { return LabelText().compare(0, prefix.size(), prefix) == 0; }, timeoutMs);
    }
    // Connections of the program's entry in the service: live ones, or with
    // those hung up but not yet released too.
    int Connections(bool hungUpToo = false) {
        std::unique_ptr<fakeras::State> state = Service().Read();
        int count = 0;
        for (const fakeras::Connection& c : state->connections) {
            count += c.handle && (hungUpToo || !c.closing) && lstrcmpW(c.entryName, L"Kelda") == 0;
        }
        return count;
    }
    static DWORD HandleValue(HRASCONN handle) { return static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(handle)); }

    RasConnection connection;
    HWND frame = nullptr, label = nullptr;
    std::unique_ptr<TestWindow> view;
};
