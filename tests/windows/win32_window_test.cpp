// The native rendering of the window and the progress window, in a Wine or Windows session.

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#undef MessageBox  // the program's interface of that name, not the Windows macro

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "app/form.h"
#include "app/win32/frm_seedwell.h"
#include "app/win32/progress_window.h"
#include "app/win32/win32_ui.h"
#include "app/win32/window_dpi.h"
#include "base/error.h"
#include "platform/registry.h"
#include "platform/unique_handle.h"
#include "platform/win_text.h"
#include "support/settings.h"
#include "tests/fakes/fake_screen.h"

namespace seedwell {
namespace {

using app::MemoryDcTraits;
using BitmapTraits = app::GdiObjectTraits<HBITMAP>;

/// An object selected into a device context until the end of the scope.
class Selected {
  public:
    Selected(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;
    ~Selected() {
        if (old_ != nullptr) SelectObject(dc_, old_);
    }

  private:
    HDC dc_;
    HGDIOBJ old_;
};

/// A font as Windows gives it: the face GetTextFaceW names, its em and its line height in
/// pixels.
struct Given {
    std::string face;
    int em = 0;
    int lineHeight = 0;
};

Given GivenFont(HDC dc) {
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, face);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    return {platform::win::Narrow(face).value_or("?"),
            static_cast<int>(metrics.tmHeight - metrics.tmInternalLeading),
            static_cast<int>(metrics.tmHeight)};
}

Given GivenFont(HFONT font) {
    const platform::UniqueHandle<HDC, MemoryDcTraits> dc(CreateCompatibleDC(nullptr));
    const Selected selected(dc.get(), font);
    return GivenFont(dc.get());
}

/// A caption drawn as its control draws it: the size DrawTextW asks for within `width`, and
/// the row below the lowest ink when drawn there (0 when nothing shows, -1 when it could not be
/// drawn).
struct Drawn {
    Given font;
    SIZE needed{};
    int inkBottom = 0;
};

Drawn Draw(HFONT font, const std::wstring& caption, int width, UINT format) {
    const platform::UniqueHandle<HDC, MemoryDcTraits> dc(CreateCompatibleDC(nullptr));
    const Selected selectedFont(dc.get(), font);
    Drawn drawn{GivenFont(dc.get())};
    RECT needed{0, 0, width, 0};
    DrawTextW(dc.get(), caption.c_str(), -1, &needed, format | DT_CALCRECT);
    drawn.needed = {needed.right, needed.bottom};

    const int height = static_cast<int>(needed.bottom);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const platform::UniqueHandle<HBITMAP, BitmapTraits> canvas(
        CreateDIBSection(dc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!canvas) {
        drawn.inkBottom = -1;  // not drawn: nothing can be said of its ink
        return drawn;
    }
    const Selected selectedCanvas(dc.get(), canvas.get());
    PatBlt(dc.get(), 0, 0, width, height, WHITENESS);
    SetTextColor(dc.get(), RGB(0, 0, 0));
    SetBkMode(dc.get(), TRANSPARENT);
    RECT all{0, 0, width, height};
    DrawTextW(dc.get(), caption.c_str(), -1, &all, format);
    GdiFlush();
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    for (int row = height; row > 0 && drawn.inkBottom == 0; --row) {
        for (int column = 0; column < width; ++column) {
            if ((pixels[(row - 1) * width + column] & 0xFFFFFF) != 0xFFFFFF) {
                drawn.inkBottom = row;
                break;
            }
        }
    }
    return drawn;
}

std::string Narrow(const wchar_t* text) { return platform::win::Narrow(text).value_or("?"); }

/// Records the faults (an access violation, an illegal instruction: not a C++ exception) raised
/// in the process while it lives, those too that Windows or Wine swallows around a window
/// procedure, which would otherwise pass unseen.
class FaultRecorder {
  public:
    FaultRecorder() : handler_(AddVectoredExceptionHandler(1, &Record)) { faults_.clear(); }
    FaultRecorder(const FaultRecorder&) = delete;
    FaultRecorder& operator=(const FaultRecorder&) = delete;
    ~FaultRecorder() {
        if (handler_ != nullptr) RemoveVectoredExceptionHandler(handler_);
    }

    /// The codes of the faults, in hexadecimal.
    std::vector<std::string> Faults() const { return faults_; }

  private:
    static LONG CALLBACK Record(EXCEPTION_POINTERS* exception) {
        const DWORD code = exception->ExceptionRecord->ExceptionCode;
        if ((code & 0xC0000000u) == 0xC0000000u) faults_.push_back(platform::win::Hex(code));
        return EXCEPTION_CONTINUE_SEARCH;
    }

    static inline std::vector<std::string> faults_;
    void* handler_;
};

class NoDialog : public app::FileDialog {
  public:
    void ShowOpen() override {}
    std::string FileName() const override { return "C:\\picked.txt"; }
};

class Win32WindowTest : public ::testing::Test, protected fakes::FakeRunPlatform {
  protected:
    Win32WindowTest() {
        registry.SetString(support::kServerKeyPath, support::kDataDirectoryValueName, "D:\\Mail");
    }
    // No fault in a window procedure passes unseen, not even while the window is destroyed.
    void TearDown() override { EXPECT_EQ(faults.Faults(), std::vector<std::string>{}); }

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

    const FaultRecorder faults;
    platform::CodePage codePage{"UTF-8"};
    fakes::FakeFileSystem backslashed{log, base::kWindowsRules};
    NoDialog cd;
    app::Win32BusyPointer busy;
    std::vector<std::string> runs;
    app::FormHandlers handlers{
        provisioning::Services{objects, backslashed, registry, codePage}, RunScreen(), cd,
        [this](app::RunWindow& w, const provisioning::Services&, const app::Screen&) {
            runs.push_back("import " + w.RootText());
        },
        [this](app::RunWindow& w, const provisioning::Services&, const app::Screen&) {
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

// Every caption of the control table, in the font its control really holds, within the room its
// box leaves it: at the window's first DPI and once the window has moved to another.
class Win32CaptionTest : public Win32WindowTest, public ::testing::WithParamInterface<UINT> {};

TEST_P(Win32CaptionTest, EveryCaptionShowsWholeInTheFontItsControlHolds) {
    const UINT dpi = GetParam();
    app::Win32Form form(GetModuleHandleW(nullptr), handlers, busy);
    if (app::WindowDpi(form.Handle()) != dpi) {
        RECT suggested{};
        GetWindowRect(form.Handle(), &suggested);
        SendMessageW(form.Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                     reinterpret_cast<LPARAM>(&suggested));
    }
    const auto px = [dpi](int twips) { return app::TwipsToPixels(twips, static_cast<int>(dpi)); };
    const std::string layoutFace = Narrow(app::kLayoutFace),
                      twinFace = Narrow(app::kLayoutTwinFace);
    for (std::size_t i = 0; i < app::kControls.size(); ++i) {
        const app::ControlEntry& entry = app::kControls[i];
        if (entry.caption.empty()) continue;
        HWND control = form.ControlWindow(i);
        RECT box{};
        GetClientRect(control, &box);
        ASSERT_EQ(box.right, px(entry.width)) << entry.name << " at " << dpi << " DPI";
        ASSERT_EQ(box.bottom, px(entry.height)) << entry.name << " at " << dpi << " DPI";
        const auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
        ASSERT_NE(font, nullptr) << entry.name;

        // The room each kind of control leaves its caption, and how it breaks its lines.
        UINT format = DT_WORDBREAK;
        int width = static_cast<int>(box.right), height = static_cast<int>(box.bottom);
        switch (entry.kind) {
            case app::ControlKind::kLabel:  // SS_LEFT | SS_NOPREFIX
                format |= DT_EXPANDTABS | DT_NOPREFIX;
                break;
            case app::ControlKind::kButton:  // inside its raised edge
                width -= 2 * GetSystemMetrics(SM_CXEDGE);
                height -= 2 * GetSystemMetrics(SM_CYEDGE);
                break;
            case app::ControlKind::kFrame:  // one line along the top, between the edges
                width -= 2 * GetSystemMetrics(SM_CXEDGE);
                height = GivenFont(font).lineHeight;
                break;
            case app::ControlKind::kTextBox:
                break;
        }
        const Drawn drawn = Draw(font, app::WideText(entry.caption, "caption"), width, format);
        const std::string where = std::string(entry.name) + " \"" + std::string(entry.caption) +
                                  "\" in " + drawn.font.face + " at " + std::to_string(dpi) +
                                  " DPI";
        EXPECT_TRUE(drawn.font.face == layoutFace || drawn.font.face == twinFace)
            << where << ": the window asks for " << layoutFace << " or " << twinFace;
        EXPECT_EQ(drawn.font.em, app::LayoutEm(dpi)) << where << ": not 8 points";
        EXPECT_LE(drawn.needed.cx, width) << where << " is wider than its box";
        // The rows past the box may only be the blank descent of a last line that has no
        // descenders: what may not be cut is ink.
        EXPECT_GT(drawn.inkBottom, 0) << where << ": no ink drawn";
        EXPECT_LE(drawn.inkBottom, height)
            << where << " needs " << drawn.needed.cy << " px of height, its box has " << height
            << ": " << drawn.inkBottom - height << " px of its ink are cut";
    }
}

INSTANTIATE_TEST_SUITE_P(Dpi, Win32CaptionTest, ::testing::Values(96u, 144u),
                         [](const ::testing::TestParamInfo<UINT>& info) {
                             return std::to_string(info.param) + "dpi";
                         });

// A window object that creates its window and then, if told to, fails in its constructor, as a
// window does whose controls cannot be made. It records every message it is handed, into a list
// that outlives it.
class FailingWindow : private app::WindowObject {
  public:
    FailingWindow(std::vector<UINT>& handled, HWND& created, bool fail) : handled_(handled) {
        window_ = Create({.instance = GetModuleHandleW(nullptr),
                          .className = L"SeedwellFailingWindow",
                          .style = WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                          .size = {200, 100},
                          .caption = "failing",
                          .what = "failing window"});
        created = window_.get();
        if (fail) throw Error("The window's controls cannot be made.");
    }
    FailingWindow(const FailingWindow&) = delete;
    FailingWindow& operator=(const FailingWindow&) = delete;
    ~FailingWindow() = default;

  private:
    LRESULT HandleMessage(HWND window, UINT message, WPARAM w, LPARAM l) override {
        handled_.push_back(message);
        return DefWindowProcW(window, message, w, l);
    }

    std::vector<UINT>& handled_;
};

// Whether its constructor fails or it is destroyed whole, the object's window goes with it, and
// no message reaches the object once its own part is gone: not even WM_DESTROY.
TEST(Win32WindowObject, ItsWindowGoesWithItAndHandsItNothingOnceItIsGone) {
    for (const bool fail : {true, false}) {
        SCOPED_TRACE(fail ? "constructor failed" : "destroyed whole");
        const FaultRecorder faults;
        std::vector<UINT> handled;
        HWND created = nullptr;
        try {
            FailingWindow window(handled, created, fail);
            EXPECT_FALSE(fail) << "the constructor did not fail";
        } catch (const Error& failure) {
            EXPECT_TRUE(fail);
            EXPECT_STREQ(failure.what(), "The window's controls cannot be made.");
        }
        ASSERT_NE(created, nullptr);
        EXPECT_FALSE(IsWindow(created));
        EXPECT_EQ(std::count(handled.begin(), handled.end(), WM_CREATE), 1);
        EXPECT_EQ(std::count(handled.begin(), handled.end(), WM_DESTROY), 0);
        EXPECT_EQ(faults.Faults(), std::vector<std::string>{});
    }
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
    progress.Update(7, "Line 7 of 40");
    wchar_t text[64] = {};
    GetDlgItemTextW(window, app::kProgressTextId, text, 64);
    EXPECT_STREQ(text, L"Line 7 of 40");
    EXPECT_EQ(SendDlgItemMessageW(window, app::kProgressBarId, PBM_GETPOS, 0, 0), 7);
    const auto fontOf = [window](int id) {
        return GivenFont(
            reinterpret_cast<HFONT>(SendDlgItemMessageW(window, id, WM_GETFONT, 0, 0)));
    };
    for (const int id : {app::kProgressTextId, app::kProgressStopId}) {
        EXPECT_EQ(fontOf(id).face, Narrow(app::kLayoutFace)) << id;
        EXPECT_EQ(fontOf(id).em, app::LayoutEm(app::WindowDpi(window))) << id;
    }

    // Moved to a monitor of 144 DPI, it is placed and lettered anew.
    RECT suggested{};
    GetWindowRect(window, &suggested);
    SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    RECT stop{};
    GetClientRect(GetDlgItem(window, app::kProgressStopId), &stop);
    EXPECT_EQ(stop.right, 108);
    EXPECT_EQ(stop.bottom, 39);
    EXPECT_EQ(fontOf(app::kProgressStopId).em, app::LayoutEm(144));

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
