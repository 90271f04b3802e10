#include <gtest/gtest.h>

#include <optional>
#include <string>

#include <QAccessible>
#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "app/qt/qt_ui.h"
#include "base/error.h"
#include "tests/app/modal.h"

namespace seedwell {
namespace {

using app::BoxStyle;
using app::kMbOk;
using app::kMbOkCritical;
using app::kMbOkInformation;
using app::kMbYesNoCritical;
using app::QtBusyPointer;
using app::QtFileDialog;
using app::QtMessageBox;
using app::QtProgress;
using app::QtSaveDialog;
using testing::ModalHandler;

/// What a shown message box looked like.
struct Seen {
    QString title;
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QMessageBox::StandardButton escapeButton = QMessageBox::NoButton;
};

/// Shows a box and closes it with `close`, returning the answer and what the box showed.
int ShowBox(std::string_view text, BoxStyle style, std::optional<std::string> title, Seen& seen,
            const std::function<void(QMessageBox&)>& close) {
    ModalHandler handler([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box == nullptr) {
            ADD_FAILURE() << "the modal widget is not a message box";
            return;
        }
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.format = box->textFormat();
        seen.icon = box->icon();
        seen.buttons = box->standardButtons();
        seen.defaultButton = box->standardButton(box->defaultButton());
        seen.escapeButton = box->standardButton(box->escapeButton());
        close(*box);
    });
    QtMessageBox boxes;
    const int answer = boxes.Show(text, style, std::move(title));
    EXPECT_TRUE(handler.Handled());
    EXPECT_FALSE(handler.GaveUp());
    return answer;
}

void Click(QMessageBox& box, QMessageBox::StandardButton which) { box.button(which)->click(); }

TEST(QtMessageBox, EachStyleHasItsButtonsIconAndDefault) {
    struct Case {
        BoxStyle style;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton;
        QMessageBox::StandardButton escapeButton;
    };
    const Case cases[] = {
        {kMbOk, QMessageBox::NoIcon, QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok},
        {kMbOkCritical, QMessageBox::Critical, QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok},
        {kMbOkInformation, QMessageBox::Information, QMessageBox::Ok, QMessageBox::Ok,
         QMessageBox::Ok},
        {kMbYesNoCritical, QMessageBox::Critical, QMessageBox::Yes | QMessageBox::No,
         QMessageBox::Yes, QMessageBox::No},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.style));
        Seen seen;
        ShowBox("text", c.style, std::nullopt, seen,
                [&](QMessageBox& box) { Click(box, c.defaultButton); });
        EXPECT_EQ(seen.icon, c.icon);
        EXPECT_EQ(seen.buttons, c.buttons);
        EXPECT_EQ(seen.defaultButton, c.defaultButton);
        EXPECT_EQ(seen.escapeButton, c.escapeButton);
    }
}

TEST(QtMessageBox, AnswersTheButtonPressedAndNoWhenAQuestionIsDismissed) {
    Seen seen;
    auto press = [](QMessageBox::StandardButton which) {
        return [which](QMessageBox& box) { Click(box, which); };
    };
    auto key = [](Qt::Key k) { return [k](QMessageBox& box) { QTest::keyClick(&box, k); }; };
    auto closeBox = [](QMessageBox& box) { box.close(); };

    EXPECT_EQ(ShowBox("q", kMbYesNoCritical, "Delete", seen, press(QMessageBox::Yes)),
              app::kAnswerYes);
    EXPECT_EQ(ShowBox("q", kMbYesNoCritical, "Delete", seen, press(QMessageBox::No)),
              app::kAnswerNo);
    EXPECT_EQ(ShowBox("q", kMbYesNoCritical, "Delete", seen, key(Qt::Key_Escape)), app::kAnswerNo);
    EXPECT_EQ(ShowBox("q", kMbYesNoCritical, "Delete", seen, closeBox), app::kAnswerNo);
    EXPECT_EQ(ShowBox("q", kMbYesNoCritical, "Delete", seen, key(Qt::Key_Return)), app::kAnswerYes);
    EXPECT_EQ(ShowBox("m", kMbOkInformation, "Done", seen, press(QMessageBox::Ok)), app::kAnswerOk);
    EXPECT_EQ(ShowBox("m", kMbOkCritical, "Error", seen, key(Qt::Key_Escape)), app::kAnswerOk);
    EXPECT_EQ(ShowBox("m", kMbOk, std::nullopt, seen, closeBox), app::kAnswerOk);
}

TEST(QtMessageBox, ShowsTitleAndPlainTextAsGiven) {
    Seen seen;
    auto ok = [](QMessageBox& box) { Click(box, QMessageBox::Ok); };

    ShowBox("Error importing:<b>a & b</b>", kMbOk, std::nullopt, seen, ok);
    EXPECT_EQ(seen.title, QStringLiteral("Seedwell"));
    EXPECT_EQ(seen.format, Qt::PlainText);
    EXPECT_EQ(seen.text, QStringLiteral("Error importing:<b>a & b</b>"));

    ShowBox("first\r\nsecond\rthird", kMbOkCritical, "Error", seen, ok);
    EXPECT_EQ(seen.title, QStringLiteral("Error"));
    EXPECT_EQ(seen.text, QStringLiteral("first\nsecond\nthird"));

    ShowBox(
        "Gr\xc3\xbc\xc3\x9f"
        "e",
        kMbOkInformation, "Done", seen, ok);
    EXPECT_EQ(seen.text, QString::fromUtf8("Gr\xc3\xbc\xc3\x9f"
                                           "e"));
}

TEST(QtBusyPointer, StaysBalancedWhateverTheOrderOfCalls) {
    ASSERT_EQ(QGuiApplication::overrideCursor(), nullptr);
    {
        QtBusyPointer pointer;
        pointer.Restore();
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

        pointer.SetHourglass();
        ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        pointer.SetHourglass();
        pointer.Restore();
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

        // Someone else's override cursor is not taken away by a Restore without a set.
        QGuiApplication::setOverrideCursor(Qt::CrossCursor);
        pointer.Restore();
        ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
        QGuiApplication::restoreOverrideCursor();

        pointer.SetHourglass();
    }
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << "destruction restores";
}

QWidget* ProgressWindow() {
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->objectName() == QStringLiteral("frmProgress") && top->isVisible()) return top;
    }
    return nullptr;
}

TEST(QtProgress, ShowsTheLineAndStopsOnStopOrClose) {
    QtProgress progress;
    EXPECT_FALSE(progress.Pump());
    progress.Open("Importing mailboxes", 10);
    QWidget* window = ProgressWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Importing mailboxes"));
    EXPECT_TRUE(window->isModal());
    EXPECT_EQ(QAccessible::queryAccessibleInterface(window)->role(), QAccessible::Dialog);
    progress.Update(3, "Line 3 of 10");
    EXPECT_EQ(window->findChild<QLabel*>("lblLine")->text(), QStringLiteral("Line 3 of 10"));
    EXPECT_EQ(window->findChild<QProgressBar*>("barProgress")->value(), 3);

    // Input for another window is dropped; a click on Stop is not.
    QPushButton other(QStringLiteral("other"));
    other.show();
    int clicks = 0;
    QObject::connect(&other, &QPushButton::clicked, [&] { ++clicks; });
    QCoreApplication::postEvent(&other, new QKeyEvent(QEvent::KeyPress, Qt::Key_Space, {}));
    QCoreApplication::postEvent(&other, new QKeyEvent(QEvent::KeyRelease, Qt::Key_Space, {}));
    EXPECT_FALSE(progress.Pump());
    EXPECT_EQ(clicks, 0);
    window->findChild<QPushButton*>("cmdStop")->click();
    EXPECT_TRUE(progress.Pump());
    progress.Close();
    EXPECT_EQ(ProgressWindow(), nullptr);

    progress.Open("Deleting mailboxes", 1);
    EXPECT_FALSE(progress.Pump()) << "a new run forgets the last Stop";
    ProgressWindow()->close();
    EXPECT_TRUE(progress.Pump());
    progress.Close();
}

TEST(QtFileDialog, KeepsTheLastPickAcrossACancel) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("mailboxes.txt"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    QtFileDialog cd;
    EXPECT_EQ(cd.FileName(), "");
    {
        ModalHandler handler([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            dialog->selectFile(path);
            static_cast<QDialog*>(dialog)->accept();  // QFileDialog::accept is protected
        });
        cd.ShowOpen();
        EXPECT_TRUE(handler.Handled());
    }
    EXPECT_EQ(cd.FileName(), QDir::toNativeSeparators(path).toStdString());
    {
        ModalHandler handler([](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            dialog->reject();
        });
        cd.ShowOpen();
        EXPECT_TRUE(handler.Handled());
    }
    EXPECT_EQ(cd.FileName(), QDir::toNativeSeparators(path).toStdString());
}

// As the Windows dialog does, the save dialog adds ".csv" to a name typed without an extension,
// and asks whether to replace a file that exists by the name it then has.
TEST(QtSaveDialog, AddsTheCsvExtensionBeforeAskingAboutAFileThatExists) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QFile existing(folder.filePath(QStringLiteral("old.csv")));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.close();
    const struct {
        QString typed, chosen, asked;
    } cases[] = {
        {QStringLiteral("fresh"), QStringLiteral("fresh.csv"), QString()},
        {QStringLiteral("old"), QStringLiteral("old.csv"), QStringLiteral("old.csv")},
        {QStringLiteral("notes.txt"), QStringLiteral("notes.txt"), QString()},
    };
    for (const auto& c : cases) {
        QString asked;
        ModalHandler handler([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            dialog->selectFile(c.typed);
            // The question about a file that exists is a box of its own, over the dialog.
            ModalHandler question([&](QWidget* box) {
                auto* replace = qobject_cast<QMessageBox*>(box);
                ASSERT_NE(replace, nullptr);
                asked = replace->text();
                replace->button(QMessageBox::Yes)->click();
            });
            static_cast<QDialog*>(dialog)->accept();  // QFileDialog::accept is protected
        });
        QtSaveDialog save;
        const auto chosen = save.ShowSave("Save the list of lines",
                                          folder.filePath("list-lines.csv").toStdString());
        EXPECT_TRUE(handler.Handled());
        EXPECT_EQ(chosen, QDir::toNativeSeparators(folder.filePath(c.chosen)).toStdString())
            << c.typed.toStdString();
        if (c.asked.isEmpty()) {
            EXPECT_TRUE(asked.isEmpty()) << asked.toStdString();
        } else {
            EXPECT_TRUE(asked.contains(c.asked)) << asked.toStdString();
        }
    }
}

}  // namespace
}  // namespace seedwell
