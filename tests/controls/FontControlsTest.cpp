#include <gtest/gtest.h>

#include <memory>

#include "controls/CheckBox.h"
#include "controls/Edit.h"
#include "ControlTestSupport.h"

namespace {
// The control hands its own font to the system control, which reports it back;
// destroying the window deletes the font, and the object's own end deletes nothing more.
template <typename Control>
void ExpectOwnFontReleasedOnce(std::unique_ptr<Control> control, LONG height, LONG weight, const wchar_t* face) {
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(control->Handle(), WM_GETFONT, 0, 0));
    ASSERT_EQ(font, control->font.get());
    LOGFONTW description{};
    ASSERT_EQ(GetObjectW(font, sizeof description, &description), static_cast<int>(sizeof description));
    EXPECT_EQ(description.lfHeight, height);
    EXPECT_EQ(description.lfWeight, weight);
    EXPECT_STREQ(description.lfFaceName, face);

    DestroyWindow(control->Handle());
    EXPECT_EQ(GetObjectType(font), 0u);
    EXPECT_FALSE(control->font);
    // A font made now may get the freed handle back; it must survive the object's end.
    HFONT probe = CreateFontW(20, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, L"Arial");
    control.reset();
    EXPECT_EQ(GetObjectType(probe), static_cast<DWORD>(OBJ_FONT));
    DeleteObject(probe);
}
}  // namespace

TEST(FontControls, EditInCourierNewAndCheckBoxInBoldArialReleaseTheirFontsOnce) {
    TestWindow host;
    auto edit = std::make_unique<Edit>();
    ASSERT_TRUE(edit->Create(host.Handle(), RECT{55, 140, 180, 160}, nullptr, 0x50810080));
    // Still the system control: its limit and its text are its own.
    SendMessageW(edit->Handle(), EM_LIMITTEXT, 5, 0);
    SendMessageW(edit->Handle(), WM_CHAR, 'x', 1);
    SendMessageW(edit->Handle(), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L"123456789"));
    wchar_t text[16] = {};
    GetWindowTextW(edit->Handle(), text, 16);
    EXPECT_STREQ(text, L"x1234");
    ExpectOwnFontReleasedOnce(std::move(edit), 15, FW_NORMAL, L"Courier New");

    auto box = std::make_unique<CheckBox>();
    ASSERT_TRUE(box->Create(host.Handle(), RECT{190, 140, 310, 160}, L"Автоподключение", 0x50010002));
    ExpectOwnFontReleasedOnce(std::move(box), 12, FW_BOLD, L"Arial");
}
