// The program off Windows: the main window drawn with Qt over the stand-in server's
// administration objects, the registry file and the file system of the machine.

#include <exception>
#include <optional>

#include <QApplication>

#include "app/administration.h"
#include "app/qt/frm_seedwell.h"
#include "app/qt/qt_ui.h"
#include "app/runs.h"
#include "app/screen.h"

int main(int argc, char* argv[]) {
    using namespace seedwell;

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Seedwell"));
    QApplication::setWindowIcon(app::SeedwellIcon());

    app::QtMessageBox messages;
    try {
        const app::SystemServices system;
        app::QtBusyPointer pointer;
        app::QtFileDialog cd;
        app::QtProgress progress;
        const app::SteadyClock clock;
        app::QtSaveDialog save;
        const app::Screen screen{messages, pointer, progress, clock, save};

        app::frmSeedwell window(system.Get(), screen, cd);
        window.show();
        return QApplication::exec();
    } catch (const std::exception& failure) {
        messages.Show(failure.what(), app::kMbOkCritical, std::nullopt);
        return 1;
    }
}
