#pragma once

#include <memory>

#include <QIcon>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include "app/form.h"
#include "app/runs.h"
#include "app/screen.h"

namespace seedwell::app {

/// The program's icon (32 x 32 and 16 x 16, 16 colours), from the resources built into the
/// program. Needs a QGuiApplication.
QIcon SeedwellIcon();

/// The main and only window: the import file box, the post-office root box, the four buttons
/// and the help frame. Every control carries its name as its object name ("cmdSelect",
/// "txtFile", "txtRoot", "cmdImport", "cmdDelete", "cmdQuit", "Label1" to "Label7", "Info").
/// Closing it (Quit or the close box) ends the program when it is the last window.
class frmSeedwell : public QWidget {
    Q_OBJECT

  public:
    /// A run started by a button: RunImport or RunDelete, or a stand-in in tests.
    using RunFunction = FormHandlers::RunFunction;

    /// Builds the window and fills the root box from the data directory that `services.registry`
    /// names. What `services` and `screen` refer to, and `cd`, must outlive the window. A
    /// failure while loading throws seedwell::Error and no window exists.
    frmSeedwell(const provisioning::Services& services, const Screen& screen, FileDialog& cd,
                QWidget* parent = nullptr);
    /// As above, with the runs that Import and Delete start.
    frmSeedwell(const provisioning::Services& services, const Screen& screen, FileDialog& cd,
                RunFunction runImport, RunFunction runDelete, QWidget* parent = nullptr);
    ~frmSeedwell() override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    class View;

    QWidget* Make(const ControlEntry& entry, QWidget* frame);

    std::unique_ptr<View> view_;
    FormHandlers handlers_;
    bool shown_ = false;
    QPushButton* cmdSelect = nullptr;
    QLineEdit* txtFile = nullptr;
    QLineEdit* txtRoot = nullptr;
};

}  // namespace seedwell::app
