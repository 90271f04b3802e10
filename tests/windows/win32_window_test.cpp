// The native rendering of the window and the progress window, in a Wine or Windows session.

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#undef MessageBox  // the program's interface of that name, not the Windows macro

#include <string>
#include <vector>

#include "app/form.h"
#include "app/win32/frm_seedwell.h"
#include "app/win32/progress.h"
#include "app/win32/win32_ui.h"
#include "platform/registry.h"
#include "tests/fakes/fake_platform.h"

namespace seedwell {
namespace {

class NoDialog : public platform::FileDialog {
  public:
    void ShowOpen() override {}
    std::string FileName() const override { return "C:\\picked.txt"; }
};

class Win32WindowTest : public ::testing::Test, protected fakes::FakePlatform {
  protected:
    Win32WindowTest() {
        registry.SetString(platform::kServerKeyPath, platform::kDataDirectoryValueName, "D:\\Mail");
    }

    std::string Focused(app::Win32Form& form) {
        for (std::size_t i = 0; i < app::kControls.size(); ++i) {
            if (form.ControlWindow(i) == GetFocus()) return std::string(app::kControls[i].name);
        }
        return "(none)";
    }

    void Key(app::Win32Form& form, WPARAM key) {
        const MSG message{GetFocus(), WM_KEYDOWN, key, 0, 0, {}};
        EXPECT_TRUE(form.PreTranslate(message));
    }

    platform::CodePage codePage{"UTF-8"};
    fakes::FakeFileSystem backslashed{log, '\\'};
    NoDialog cd;
    app::Win32BusyPointer busy;
    std::vector<std::string> runs;
    app::FormHandlers handlers{provisioning::Services{objects, backslashed, registry, messages,
                                                      pointer, codePage, progress, clock},
                               cd,
                               [this](app::RunWindow& w, const provisioning::Services&) {
                                   runs.push_back("import " + w.RootText());
                               },
                               [this](app::RunWindow& w, const provisioning::Services&) {
                                   runs.push_back("delete " + w.FileText());
                               }};
};

TEST_F(Win32WindowTest, TabCyclesInTableOrderEnterAndEscapePressNothingButtonsRunHandlers) {
    app::Win32Form form(GetModuleHandleW(nullptr), handlers, busy);
    form.Show(SW_SHOWNORMAL);
    EXPECT_EQ(Focused(form), "cmdSelect");
    const LRESULT font = SendMessageW(form.ControlWindow(0), WM_GETFONT, 0, 0);
    EXPECT_NE(font, 0);
    for (std::size_t i = 1; i < app::kControls.size(); ++i) {
        EXPECT_EQ(SendMessageW(form.ControlWindow(i), WM_GETFONT, 0, 0), font) << i;
    }
    for (const char* next :
         {"txtFile", "txtRoot", "cmdImport", "cmdQuit", "cmdDelete", "cmdSelect"}) {
        Key(form, VK_TAB);
        EXPECT_EQ(Focused(form), next);
    }
    Key(form, VK_RETURN);
    Key(form, VK_ESCAPE);
    EXPECT_TRUE(runs.empty());

    const auto click = [&](const char* name) {
        for (std::size_t i = 0; i < app::kControls.size(); ++i) {
            if (app::kControls[i].name == name) SendMessageW(form.ControlWindow(i), BM_CLICK, 0, 0);
        }
    };
    click("cmdSelect");
    click("cmdImport");
    click("cmdDelete");
    EXPECT_EQ(runs,
              (std::vector<std::string>{"import D:\\Mail\\Postoffices", "delete C:\\picked.txt"}));

    click("cmdQuit");
    EXPECT_EQ(form.Handle(), nullptr);
    MSG quit{};
    EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST(Win32Progress, ShowsTheLineDisablesItsOwnerAndReportsStop) {
    HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                 200, 100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(owner, nullptr);
    app::Win32Progress progress(GetModuleHandleW(nullptr));
    progress.SetOwner(owner);
    EXPECT_FALSE(progress.Pump());  // before Open: nothing shows

    progress.Open("Importing mailboxes", 40);
    HWND window = progress.Handle();
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(IsWindowEnabled(owner));
    progress.Update(7);
    wchar_t text[64] = {};
    GetDlgItemTextW(window, app::kProgressTextId, text, 64);
    EXPECT_STREQ(text, L"Line 7 of 40");
    EXPECT_EQ(SendDlgItemMessageW(window, app::kProgressBarId, PBM_GETPOS, 0, 0), 7);

    PostMessageW(owner, WM_LBUTTONDOWN, 0, 0);  // input elsewhere is dropped
    EXPECT_FALSE(progress.Pump());
    PostMessageW(GetDlgItem(window, app::kProgressStopId), BM_CLICK, 0, 0);
    EXPECT_TRUE(progress.Pump());

    progress.Close();
    EXPECT_EQ(progress.Handle(), nullptr);
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_FALSE(progress.Pump());
    DestroyWindow(owner);
}

}  // namespace
}  // namespace seedwell
