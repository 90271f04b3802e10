#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <set>
#include <string>

#include <QAccessible>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QGuiApplication>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include "app/qt/frm_seedwell.h"
#include "app/runs.h"
#include "base/error.h"
#include "platform/codepage.h"
#include "platform/objects.h"
#include "platform/registry.h"
#include "support/settings.h"
#include "tests/fakes/fake_screen.h"
#include "tests/fakes/fake_window.h"
#include "tests/fakes/recording.h"

namespace seedwell {
namespace {

using app::frmSeedwell;

class WindowTest : public ::testing::Test, protected fakes::FakeRunPlatform {
  protected:
    WindowTest() {
        registry.SetString(support::kServerKeyPath, support::kDataDirectoryValueName, "/srv/mail");
    }

    frmSeedwell& Window() {
        if (!window) {
            window = std::make_unique<frmSeedwell>(
                MakeServices(codePage), RunScreen(), cd,
                [this](app::RunWindow& run, const provisioning::Services&, const app::Screen&) {
                    Record("import", run);
                },
                [this](app::RunWindow& run, const provisioning::Services&, const app::Screen&) {
                    Record("delete", run);
                });
        }
        return *window;
    }

    void ShowActive() {
        Window().show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    template <typename T>
    T* Control(const char* name) {
        T* control = Window().findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(control, nullptr) << name;
        return control;
    }

    QWidget* Focused() { return QApplication::focusWidget(); }
    std::string FocusedName() {
        return Focused() == nullptr ? "(none)" : Focused()->objectName().toStdString();
    }

    void Record(const std::string& run, app::RunWindow& window) {
        runs.push_back(run + " file=" + window.FileText() + " root=" + window.RootText());
        if (failure) {
            throw Error(*failure);
        }
        window.FocusFile();
    }

    platform::CodePage codePage{"UTF-8"};
    fakes::ScriptedFileDialog cd;
    std::vector<std::string> runs;
    std::optional<std::string> failure;
    std::unique_ptr<frmSeedwell> window;
};

struct Expected {
    const char* name;
    const char* parent;
    QRect geometry;
    const char* text;  // nullptr: checked elsewhere
};

// Twips divided by 15.
const Expected kControls[] = {
    {"cmdSelect", "frmSeedwell", {8, 8, 81, 25}, "Select File..."},
    {"txtFile", "frmSeedwell", {96, 8, 249, 27}, ""},
    {"txtRoot", "frmSeedwell", {8, 64, 337, 19}, nullptr},
    {"cmdImport", "frmSeedwell", {8, 336, 81, 25}, "Import"},
    {"cmdQuit", "frmSeedwell", {296, 336, 81, 25}, "Quit"},
    {"Label1", "frmSeedwell", {8, 48, 121, 17}, "Root post office directory:"},
    {"Info", "frmSeedwell", {8, 96, 369, 233}, "Info"},
    {"Label2",
     "Info",
     {8, 16, 345, 25},
     "Import file needs to be a plain comma-delimited  text file with each line formatted as:"},
    {"Label3", "Info", {8, 48, 257, 17}, "postoffice,emailaddress,password"},
    {"Label4", "Info", {8, 72, 345, 57}, nullptr},
    {"Label5", "Info", {8, 136, 337, 17}, "An example line of an import file would be:"},
    {"Label6", "Info", {8, 160, 273, 17}, nullptr},
    {"cmdDelete", "frmSeedwell", {152, 336, 81, 25}, "Delete"},
    {"Label7",
     "Info",
     {8, 184, 337, 41},
     "If deleting mailboxes, you just need the postoffice and email address (or mailbox name "
     "instead of email address). ALWAYS back up before deletion."},
};

TEST_F(WindowTest, EveryControlHasItsNameCaptionAndPlace) {
    for (const Expected& expected : kControls) {
        SCOPED_TRACE(expected.name);
        QWidget* control = Control<QWidget>(expected.name);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->parentWidget()->objectName().toStdString(), expected.parent);
        EXPECT_EQ(control->geometry(), expected.geometry);
        EXPECT_EQ(control->minimumSize(), expected.geometry.size());
        EXPECT_EQ(control->maximumSize(), expected.geometry.size());

        QString text;
        if (auto* button = qobject_cast<QPushButton*>(control)) {
            text = button->text();
            EXPECT_FALSE(button->autoDefault());
            EXPECT_FALSE(button->isDefault());
            EXPECT_FALSE(text.contains(QLatin1Char('&')));
            EXPECT_EQ(button->focusPolicy(), Qt::StrongFocus);
        } else if (auto* label = qobject_cast<QLabel*>(control)) {
            text = label->text();
            EXPECT_TRUE(label->wordWrap());
            EXPECT_EQ(label->textFormat(), Qt::PlainText);
            EXPECT_TRUE(label->alignment() & Qt::AlignLeft);
            EXPECT_EQ(label->focusPolicy(), Qt::NoFocus);
            const QRect needed = QFontMetrics(label->font())
                                     .boundingRect(QRect(0, 0, label->width(), 10000),
                                                   Qt::AlignLeft | Qt::TextWordWrap, label->text());
            EXPECT_LE(needed.height(), label->height()) << "the text is cut off";
            EXPECT_LE(needed.width(), label->width()) << "the text is cut off";
        } else if (auto* box = qobject_cast<QLineEdit*>(control)) {
            text = box->text();
            EXPECT_FALSE(box->isReadOnly());
            EXPECT_EQ(box->focusPolicy(), Qt::StrongFocus);
        } else if (auto* frame = qobject_cast<QGroupBox*>(control)) {
            text = frame->title();
            EXPECT_EQ(frame->focusPolicy(), Qt::NoFocus);
        } else {
            ADD_FAILURE() << "unexpected kind of control";
        }
        if (expected.text != nullptr) {
            EXPECT_EQ(text.toStdString(), expected.text);
        }
    }
}

TEST_F(WindowTest, IsAFixedSizeWindowWithOnlyTheCloseBox) {
    frmSeedwell& form = Window();
    EXPECT_EQ(form.objectName(), QStringLiteral("frmSeedwell"));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Import/Delete Mailboxes"));
    EXPECT_EQ(qobject_cast<QDialog*>(&form), nullptr);
    EXPECT_TRUE(form.isWindow());
    EXPECT_EQ(form.size(), QSize(385, 369));
    EXPECT_EQ(form.minimumSize(), QSize(385, 369));
    EXPECT_EQ(form.maximumSize(), QSize(385, 369));

    const Qt::WindowFlags flags = form.windowFlags();
    EXPECT_TRUE(flags & Qt::WindowTitleHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(flags & Qt::CustomizeWindowHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowContextHelpButtonHint);

    EXPECT_TRUE(form.windowIcon().availableSizes().contains(QSize(32, 32)));

    EXPECT_EQ(Control<QLineEdit>("txtFile")->accessibleName(), QStringLiteral("Import file"));
    EXPECT_EQ(Control<QLineEdit>("txtRoot")->accessibleName(),
              QStringLiteral("Root post office directory:"));
    EXPECT_EQ(Control<QLabel>("Label1")->buddy(), Control<QLineEdit>("txtRoot"));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(&form)->role(), QAccessible::Window);
}

TEST_F(WindowTest, FirstShowsCentredWithTheFocusOnSelect) {
    ShowActive();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint offset = Window().geometry().center() - screen.center();
    EXPECT_LE(offset.manhattanLength(), 2) << offset.x() << "," << offset.y();
    EXPECT_EQ(FocusedName(), "cmdSelect");
}

TEST_F(WindowTest, TabCyclesWithDeleteAfterQuit) {
    ShowActive();
    const std::vector<std::string> cycle = {"txtFile", "txtRoot",   "cmdImport",
                                            "cmdQuit", "cmdDelete", "cmdSelect"};
    for (const std::string& next : cycle) {
        QTest::keyClick(Focused(), Qt::Key_Tab);
        EXPECT_EQ(FocusedName(), next);
    }
    QTest::keyClick(Focused(), Qt::Key_Backtab);
    EXPECT_EQ(FocusedName(), "cmdDelete");
}

TEST_F(WindowTest, EnterAndEscapePressNoButton) {
    ShowActive();
    for (const char* name :
         {"cmdSelect", "txtFile", "txtRoot", "cmdImport", "cmdQuit", "cmdDelete"}) {
        SCOPED_TRACE(name);
        QWidget* control = Control<QWidget>(name);
        control->setFocus();
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            QTest::keyClick(control, key);
        }
    }
    EXPECT_TRUE(runs.empty());
    EXPECT_EQ(cd.shows, 0);
    EXPECT_TRUE(Window().isVisible());
}

TEST_F(WindowTest, RunsReadTheBoxesWhenTheyRunAndMayMoveTheFocus) {
    ShowActive();
    QTest::keyClicks(Control<QLineEdit>("txtFile"), "/tmp/list.txt");
    Control<QLineEdit>("txtRoot")->setText("/elsewhere/Postoffices");
    QTest::mouseClick(Control<QPushButton>("cmdImport"), Qt::LeftButton);
    EXPECT_EQ(FocusedName(), "txtFile");

    Control<QPushButton>("cmdSelect")->setFocus();
    Control<QLineEdit>("txtFile")->setText("/tmp/gone.txt");
    QTest::mouseClick(Control<QPushButton>("cmdDelete"), Qt::LeftButton);
    EXPECT_EQ(FocusedName(), "txtFile");

    EXPECT_EQ(runs,
              (std::vector<std::string>{"import file=/tmp/list.txt root=/elsewhere/Postoffices",
                                        "delete file=/tmp/gone.txt root=/elsewhere/Postoffices"}));
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(WindowTest, QuitAndTheCloseBoxEndTheProgramWithoutAQuestion) {
    for (bool closeBox : {false, true}) {
        SCOPED_TRACE(closeBox ? "close box" : "Quit");
        ShowActive();
        QTimer::singleShot(0, [&] {
            if (closeBox) {
                QCloseEvent close;  // what the window manager's close box sends
                QCoreApplication::sendEvent(Window().windowHandle(), &close);
            } else {
                QTest::mouseClick(Control<QPushButton>("cmdQuit"), Qt::LeftButton);
            }
        });
        // Only a guard against hanging should the program not end: exit code 1.
        QTimer hang;
        hang.setSingleShot(true);
        QObject::connect(&hang, &QTimer::timeout, [] { QCoreApplication::exit(1); });
        hang.start(20000);

        EXPECT_EQ(QApplication::exec(), 0);
        EXPECT_FALSE(Window().isVisible());
    }
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_TRUE(runs.empty());
}

TEST(Icon, HasBothSizesInSixteenColours) {
    const QIcon icon = app::SeedwellIcon();
    const QList<QSize> sizes = icon.availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));

    QImageReader reader(QStringLiteral(":/seedwell/seedwell.ico"));
    EXPECT_EQ(reader.imageCount(), 2);
    for (int i = 0; i < reader.imageCount(); ++i) {
        ASSERT_TRUE(reader.jumpToImage(i));
        const QImage image = reader.read().convertToFormat(QImage::Format_ARGB32);
        ASSERT_FALSE(image.isNull()) << reader.errorString().toStdString();
        std::set<QRgb> colours;
        int clear = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QRgb pixel = image.pixel(x, y);
                if (qAlpha(pixel) == 0) {
                    ++clear;
                } else {
                    colours.insert(pixel);
                }
            }
        }
        EXPECT_LE(colours.size(), 16u);
        EXPECT_GE(colours.size(), 4u);
        EXPECT_GT(clear, 0) << "the background must be transparent";
    }
}

}  // namespace
}  // namespace seedwell
