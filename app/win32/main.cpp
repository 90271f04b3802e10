// The program on Windows: the main window drawn with the Win32 API, the real server's
// administration objects through COM, the registry and the file system of the machine.

#include <windows.h>

#include <commctrl.h>
#undef MessageBox  // the program's interface of that name, not the Windows macro

#include <exception>
#include <optional>

#include "app/administration.h"
#include "app/form.h"
#include "app/runs.h"
#include "app/screen.h"
#include "app/win32/frm_seedwell.h"
#include "app/win32/progress_window.h"
#include "app/win32/win32_ui.h"
#include "base/error.h"
#include "platform/com_objects.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    using namespace seedwell;

    app::Win32MessageBox messages;
    try {
        const platform::ComApartment com;  // for the file dialog as much as the objects
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);

        const app::SystemServices system;
        app::Win32BusyPointer pointer;
        app::Win32FileDialog cd;
        app::Win32SaveDialog save;
        app::Win32Progress progress(instance);
        const app::SteadyClock clock;
        app::FormHandlers handlers(system.Get(), {messages, pointer, progress, clock, save}, cd);

        app::Win32Form window(instance, handlers, pointer);
        messages.SetOwner(window.Handle());
        cd.SetOwner(window.Handle());
        save.SetOwner(window.Handle());
        progress.SetOwner(window.Handle());
        window.Show(show);
        const int exitCode = app::RunMessageLoop(window);
        messages.SetOwner(nullptr);
        return exitCode;
    } catch (const std::exception& failure) {
        messages.SetOwner(nullptr);
        try {
            messages.Show(failure.what(), app::kMbOkCritical, std::nullopt);
        } catch (...) {
            // Nothing else can tell the operator.
        }
        return 1;
    }
}
