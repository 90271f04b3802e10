#include "platform/qt/qt_ui.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QString>

#include "platform/error.h"

namespace seedwell::platform {

namespace {

QString PlainLines(std::string_view text) {
    QString lines = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return lines;
}

}  // namespace

int QtMessageBox::Show(std::string_view text, int style, std::optional<std::string> title) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool yesNo = false;
    switch (style) {
        case kMbOk:
            break;
        case kMbOkCritical:
            icon = QMessageBox::Critical;
            break;
        case kMbOkInformation:
            icon = QMessageBox::Information;
            break;
        case kMbYesNoCritical:
            icon = QMessageBox::Critical;
            yesNo = true;
            break;
        default:
            throw Error("A message box of style " + std::to_string(style) +
                        " cannot be shown: only the styles 0, 16, 20 and 64 are known.");
    }

    QMessageBox box(QApplication::activeWindow());
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowTitle(QString::fromStdString(title ? *title : std::string(kApplicationTitle)));
    box.setIcon(icon);
    box.setTextFormat(Qt::PlainText);
    box.setText(PlainLines(text));

    QAbstractButton* yes = nullptr;
    if (yesNo) {
        yes = box.addButton(QMessageBox::Yes);
        QPushButton* no = box.addButton(QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(no);
    } else {
        QPushButton* ok = box.addButton(QMessageBox::Ok);
        box.setDefaultButton(ok);
        box.setEscapeButton(ok);
    }
    box.exec();

    if (!yesNo) {
        return kAnswerOk;
    }
    return box.clickedButton() == yes ? kAnswerYes : kAnswerNo;
}

QtBusyPointer::~QtBusyPointer() { Restore(); }

void QtBusyPointer::SetHourglass() {
    if (set_) {
        return;
    }
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    set_ = true;
}

void QtBusyPointer::Restore() {
    if (!set_) {
        return;
    }
    set_ = false;
    if (QGuiApplication::instance() != nullptr) {
        QGuiApplication::restoreOverrideCursor();
    }
}

void QtFileDialog::ShowOpen() {
    const QString picked = QFileDialog::getOpenFileName(QApplication::activeWindow());
    if (!picked.isEmpty()) {
        fileName_ = QDir::toNativeSeparators(picked).toStdString();
    }
}

}  // namespace seedwell::platform
