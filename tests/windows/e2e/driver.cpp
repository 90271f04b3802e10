// Drives the Windows program from outside, for the end-to-end script: one command a call, the
// main window named by its handle in hexadecimal, controls by their names in the control table.
//   driver window SECONDS               the handle of the main window, once it shows
//   driver layout HWND                  checks caption, frame, client size and every control
//   driver focus HWND                   the name of the control that has the focus
//   driver gettext|settext HWND NAME [TEXT]
//   driver click HWND NAME              posts a click to a button
//   driver close HWND                   presses the close box
//   driver box TITLE ok|yes|no SECONDS  prints the text of a message box, then answers it
//   driver save TITLE PATH SECONDS      types PATH into the save dialog and saves; prints the
//                                       question whether to replace a file there, answered Yes
//   driver gone HWND SECONDS            waits until the window no longer exists
//   driver hold PATH SECONDS            keeps a file open, not to be deleted, for a while

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "app/form.h"
#include "platform/win_text.h"

namespace {

using seedwell::app::kControls;
using seedwell::platform::win::Narrow;
using seedwell::platform::win::Widen;

constexpr int kFirstControlId = 100;

[[noreturn]] void Fail(const std::string& why) {
    std::fprintf(stderr, "driver: %s\n", why.c_str());
    std::exit(1);
}

void Print(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
}

std::wstring Wide(const std::string& text) {
    auto wide = Widen(text);
    if (!wide) Fail("not UTF-8: " + text);
    return *wide;
}

std::string Text(HWND window) {
    // WM_GETTEXT, not GetWindowText, reads another process's edit controls.
    const LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    std::vector<wchar_t> buffer(static_cast<std::size_t>(length) + 1);
    const LRESULT read =
        SendMessageW(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()));
    return Narrow(std::wstring_view(buffer.data(), static_cast<std::size_t>(read))).value_or("?");
}

std::string ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return Narrow(name).value_or("?");
}

HWND ParseWindow(const char* text) {
    return reinterpret_cast<HWND>(static_cast<INT_PTR>(std::strtoll(text, nullptr, 16)));
}

HWND Control(HWND form, const std::string& name) {
    for (std::size_t i = 0; i < kControls.size(); ++i) {
        if (kControls[i].name == name) {
            HWND control = GetDlgItem(form, kFirstControlId + static_cast<int>(i));
            if (control == nullptr) Fail("the window has no control " + name);
            return control;
        }
    }
    Fail("no control is called " + name);
}

template <typename Found>
auto WaitFor(double seconds, Found found) {
    for (int i = 0; i < static_cast<int>(seconds * 20); ++i) {
        if (auto result = found()) return result;
        Sleep(50);
    }
    return decltype(found())();
}

struct Search {
    const wchar_t* className;
    const std::wstring* title;
    HWND found;
};

// Window enumeration callbacks are named functions: a lambda converts only to a pointer of the
// default calling convention, which is not CALLBACK's in a 32-bit program.
BOOL CALLBACK FindTopLevel(HWND window, LPARAM l) {
    auto* s = reinterpret_cast<Search*>(l);
    wchar_t name[64] = {}, caption[256] = {};
    GetClassNameW(window, name, 64);
    GetWindowTextW(window, caption, 256);
    if (IsWindowVisible(window) && lstrcmpW(name, s->className) == 0 && *s->title == caption) {
        s->found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK ListVisible(HWND window, LPARAM l) {
    if (IsWindowVisible(window)) {
        *reinterpret_cast<std::string*>(l) += " [" + ClassOf(window) + " '" + Text(window) + "']";
    }
    return TRUE;
}

BOOL CALLBACK FindDialogs(HWND window, LPARAM l) {
    auto* s = reinterpret_cast<std::pair<const std::wstring*, std::vector<HWND>>*>(l);
    wchar_t name[64] = {}, caption[256] = {};
    GetClassNameW(window, name, 64);
    GetWindowTextW(window, caption, 256);
    if (IsWindowVisible(window) && lstrcmpW(name, L"#32770") == 0 && *s->first == caption) {
        s->second.push_back(window);
    }
    return TRUE;
}

// Every dialog and message box titled `title` that shows.
std::vector<HWND> Dialogs(const std::wstring& title) {
    std::pair<const std::wstring*, std::vector<HWND>> search{&title, {}};
    EnumWindows(FindDialogs, reinterpret_cast<LPARAM>(&search));
    return search.second;
}

HWND TopLevel(const wchar_t* className, const std::wstring& title) {
    Search search{className, &title, nullptr};
    EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

int Layout(HWND form) {
    int faults = 0;
    const auto expect = [&](bool ok, const std::string& what) {
        if (!ok) {
            std::fprintf(stderr, "layout: %s\n", what.c_str());
            ++faults;
        }
    };
    const int dpi = static_cast<int>(GetDpiForWindow(form));
    const auto px = [dpi](int twips) { return seedwell::app::TwipsToPixels(twips, dpi); };
    expect(Text(form) == seedwell::app::kFormCaption, "caption '" + Text(form) + "'");
    const LONG style = GetWindowLongW(form, GWL_STYLE);
    expect((style & WS_SYSMENU) && !(style & (WS_MAXIMIZEBOX | WS_MINIMIZEBOX | WS_THICKFRAME)),
           "the frame must be fixed, with the close box only");
    RECT client{};
    GetClientRect(form, &client);
    expect(client.right == px(seedwell::app::kClientWidthTwips) &&
               client.bottom == px(seedwell::app::kClientHeightTwips),
           "client area " + std::to_string(client.right) + "x" + std::to_string(client.bottom));
    const seedwell::app::ControlEntry& frame = seedwell::app::Control(seedwell::app::kFrameName);
    for (std::size_t i = 0; i < kControls.size(); ++i) {
        const auto& entry = kControls[i];
        const std::string name(entry.name);
        HWND control = Control(form, name);
        RECT place{};
        GetWindowRect(control, &place);
        MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&place), 2);
        const int left = px(entry.left) + (entry.insideFrame ? px(frame.left) : 0);
        const int top = px(entry.top) + (entry.insideFrame ? px(frame.top) : 0);
        expect(place.left == left && place.top == top &&
                   place.right - place.left == px(entry.width) &&
                   place.bottom - place.top == px(entry.height),
               name + " at " + std::to_string(place.left) + "," + std::to_string(place.top) + " " +
                   std::to_string(place.right - place.left) + "x" +
                   std::to_string(place.bottom - place.top));
        const std::string kind = ClassOf(control);
        const LONG controlStyle = GetWindowLongW(control, GWL_STYLE);
        switch (entry.kind) {
            case seedwell::app::ControlKind::kButton:
                expect(lstrcmpiA(kind.c_str(), "Button") == 0 &&
                           (controlStyle & BS_TYPEMASK) == BS_PUSHBUTTON,
                       name + " must be a push button that is not the default");
                break;
            case seedwell::app::ControlKind::kTextBox:
                expect(lstrcmpiA(kind.c_str(), "Edit") == 0 &&
                           !(controlStyle & (ES_MULTILINE | WS_VSCROLL | WS_HSCROLL)) &&
                           (GetWindowLongW(control, GWL_EXSTYLE) & WS_EX_CLIENTEDGE),
                       name + " must be a single-line edit with a border and no scroll bars");
                break;
            case seedwell::app::ControlKind::kLabel:
                expect(lstrcmpiA(kind.c_str(), "Static") == 0 &&
                           (controlStyle & SS_TYPEMASK) == SS_LEFT,
                       name + " must be a left-aligned, wrapping static");
                break;
            case seedwell::app::ControlKind::kFrame:
                expect(lstrcmpiA(kind.c_str(), "Button") == 0 &&
                           (controlStyle & BS_TYPEMASK) == BS_GROUPBOX,
                       name + " must be a group box");
                break;
        }
        if (entry.kind != seedwell::app::ControlKind::kTextBox) {
            expect(Text(control) == entry.caption, name + " says '" + Text(control) + "'");
        }
    }
    return faults == 0 ? 0 : 1;
}

// The texts of a message box's labels, one a line.
std::string BoxText(HWND box) {
    std::string text;
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        if (lstrcmpiA(ClassOf(child).c_str(), "Static") == 0 && !Text(child).empty()) {
            text += (text.empty() ? "" : "\n") + Text(child);
        }
    }
    return text;
}

// The file name box of a file dialog, by the identifiers the common dialogs give it (cmb13 in
// the dialog of today, edt1 in older ones); null when `dialog` has none.
HWND FileNameBox(HWND dialog) {
    for (const int id : {0x47c, 0x480}) {
        if (HWND box = GetDlgItem(dialog, id); box != nullptr && IsWindowVisible(box)) return box;
    }
    return nullptr;
}

int Save(const std::string& title, const std::string& path, double seconds) {
    const std::wstring wideTitle = Wide(title);
    HWND dialog = WaitFor(seconds, [&]() -> HWND {
        for (HWND found : Dialogs(wideTitle)) {
            if (FileNameBox(found) != nullptr) return found;
        }
        return nullptr;
    });
    if (dialog == nullptr) Fail("no save dialog titled '" + title + "'");
    const std::wstring widePath = Wide(path);
    SendMessageW(FileNameBox(dialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(widePath.c_str()));
    PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    // Until the dialog has gone, a box over it with the same title asks about the file there.
    std::vector<HWND> answered;
    for (int i = 0; i < static_cast<int>(seconds * 20); ++i) {
        if (!IsWindow(dialog) || !IsWindowVisible(dialog)) return 0;
        for (HWND other : Dialogs(wideTitle)) {
            HWND yes = GetDlgItem(other, IDYES);
            if (other == dialog || yes == nullptr ||
                std::find(answered.begin(), answered.end(), other) != answered.end()) {
                continue;
            }
            Print(BoxText(other));
            PostMessageW(yes, BM_CLICK, 0, 0);
            answered.push_back(other);
        }
        Sleep(50);
    }
    Fail("the save dialog '" + title + "' did not close");
}

int Box(const std::string& title, const std::string& answer, double seconds) {
    HWND box = WaitFor(seconds, [&] { return TopLevel(L"#32770", Wide(title)); });
    if (box == nullptr) {
        std::string shown;
        EnumWindows(ListVisible, reinterpret_cast<LPARAM>(&shown));
        Fail("no message box titled '" + title + "'; showing:" + shown);
    }
    Print(BoxText(box));
    const int id = answer == "yes" ? IDYES : answer == "no" ? IDNO : IDOK;
    HWND button = GetDlgItem(box, id);
    if (button == nullptr) Fail("the box '" + title + "' has no button " + answer);
    PostMessageW(button, BM_CLICK, 0, 0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const auto need = [&](std::size_t count) {
        if (args.size() < count) Fail("too few arguments for " + args[0]);
    };
    need(1);
    const std::string& command = args[0];
    if (command == "window") {
        need(2);
        HWND form = WaitFor(std::atof(args[1].c_str()), [] {
            return TopLevel(L"SeedwellMainWindow", Wide(std::string(seedwell::app::kFormCaption)));
        });
        if (form == nullptr) Fail("the main window did not show");
        std::printf("%llx\n", static_cast<unsigned long long>(reinterpret_cast<INT_PTR>(form)));
        return 0;
    }
    if (command == "box") {
        need(4);
        return Box(args[1], args[2], std::atof(args[3].c_str()));
    }
    if (command == "save") {
        need(4);
        return Save(args[1], args[2], std::atof(args[3].c_str()));
    }
    if (command == "hold") {
        need(3);
        HANDLE file = CreateFileW(Wide(args[1]).c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) Fail("cannot open " + args[1]);
        Print("held");
        std::fflush(stdout);
        Sleep(static_cast<DWORD>(std::atof(args[2].c_str()) * 1000));
        CloseHandle(file);
        return 0;
    }
    need(2);
    HWND form = ParseWindow(args[1].c_str());
    if (command == "gone") {
        need(3);
        const bool gone = WaitFor(std::atof(args[2].c_str()), [&] { return !IsWindow(form); });
        return gone ? 0 : 1;
    }
    if (!IsWindow(form)) Fail("no window " + args[1]);
    if (command == "layout") return Layout(form);
    if (command == "close") {
        PostMessageW(form, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    }
    if (command == "focus") {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(GetWindowThreadProcessId(form, nullptr), &info);
        for (std::size_t i = 0; i < kControls.size(); ++i) {
            if (GetDlgItem(form, kFirstControlId + static_cast<int>(i)) == info.hwndFocus) {
                Print(std::string(kControls[i].name));
                return 0;
            }
        }
        Print("(none)");
        return 0;
    }
    need(3);
    HWND control = Control(form, args[2]);
    if (command == "gettext") {
        Print(Text(control));
    } else if (command == "settext") {
        need(4);
        const std::wstring text = Wide(args[3]);
        SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    } else if (command == "click") {
        PostMessageW(control, BM_CLICK, 0, 0);
    } else {
        Fail("unknown command " + command);
    }
    return 0;
}
