#include <exception>
#include <memory>
#include <optional>

#include <QApplication>

#include "app/administration.h"
#include "app/qt/frm_seedwell.h"
#include "app/runs.h"
#include "platform/codepage.h"
#include "platform/filesystem.h"
#include "platform/objects.h"
#include "platform/qt/qt_ui.h"
#include "platform/registry.h"
#include "platform/steady_clock.h"
#include "platform/ui.h"

int main(int argc, char* argv[]) {
    using namespace seedwell;

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Seedwell"));
    QApplication::setWindowIcon(app::SeedwellIcon());

    platform::QtMessageBox messages;
    try {
        const std::unique_ptr<platform::Registry> registry = platform::MakeSystemRegistry();
        const std::unique_ptr<platform::ObjectFactory> objects =
            app::MakeAdministrationObjects(*registry);
        const std::unique_ptr<platform::FileSystem> files = platform::MakeSystemFileSystem();
        platform::QtBusyPointer pointer;
        platform::QtFileDialog cd;
        platform::QtProgress progress;
        const platform::SteadyClock clock;
        const provisioning::Services services{*objects, *files,  *registry,
                                              messages, pointer, platform::CodePage::System(),
                                              progress, clock};

        app::frmSeedwell window(services, cd);
        window.show();
        return QApplication::exec();
    } catch (const std::exception& failure) {
        messages.Show(failure.what(), platform::kMbOkCritical, std::nullopt);
        return 1;
    }
}
