// The program on Windows: the main window drawn with the Win32 API, the real server's
// administration objects through COM, the registry and the file system of the machine.

#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#undef MessageBox  // the program's interface of that name, not the Windows macro

#include <exception>
#include <memory>
#include <optional>

#include "app/administration.h"
#include "app/form.h"
#include "app/runs.h"
#include "app/screen.h"
#include "app/win32/frm_seedwell.h"
#include "app/win32/progress.h"
#include "app/win32/win32_ui.h"
#include "platform/error.h"
#include "platform/win_text.h"

namespace {

/// COM for the life of the window, in the one thread's apartment.
class ComApartment {
  public:
    ComApartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    HRESULT Result() const { return result_; }

  private:
    HRESULT result_;
};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    using namespace seedwell;

    app::Win32MessageBox messages;
    try {
        const ComApartment com;
        if (FAILED(com.Result())) {
            throw Error("COM cannot be started: " + platform::win::HResultReason(com.Result()));
        }
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);

        const app::SystemServices system;
        app::Win32BusyPointer pointer;
        app::Win32FileDialog cd;
        app::Win32Progress progress(instance);
        const app::SteadyClock clock;
        app::FormHandlers handlers(system.Get(), {messages, pointer, progress, clock}, cd);

        app::Win32Form window(instance, handlers, pointer);
        messages.SetOwner(window.Handle());
        cd.SetOwner(window.Handle());
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
