#include <gtest/gtest.h>

#include <memory>

#include "controls/CheckBox.h"
#include "controls/Edit.h"
#include "support/TestWindows.h"

// Each control hands its own font to the system control; destroying the window
// deletes the font, and the object's own end deletes nothing more.
TEST(FontControls, ReleaseTheirOwnFontOnceWithTheWindow) {
    TestWindow host;
    auto releasedOnce = [&](auto control) {
        HFONT font = reinterpret_cast<HFONT>(SendMessageW(control->Handle(), WM_GETFONT, 0, 0));
        ASSERT_EQ(GetObjectType(font), static_cast<DWORD>(OBJ_FONT));
        DestroyWindow(control->Handle());
        EXPECT_EQ(GetObjectType(font), 0u);
        // A font made now may get the freed handle back; it must survive the object's end.
        HFONT probe = CreateFontW(20, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, L"Arial");
        control.reset();
        EXPECT_EQ(GetObjectType(probe), static_cast<DWORD>(OBJ_FONT));
        DeleteObject(probe);
    };
    auto edit = std::make_unique<Edit>();
    ASSERT_TRUE(edit->Create(host.Handle(), RECT{55, 140, 180, 160}, nullptr, 0x50810080));
    releasedOnce(std::move(edit));
    auto box = std::make_unique<CheckBox>();
    ASSERT_TRUE(box->Create(host.Handle(), RECT{190, 140, 310, 160}, L"Автоподключение", 0x50010002));
    releasedOnce(std::move(box));
}
