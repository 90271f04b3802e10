#include "app/qt/qt_ui.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QString>
#include <QStringList>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <climits>

#include "base/error.h"

namespace seedwell::app {

namespace {

// Offered each class of an object in turn, from its own to QObject; it answers at QWidget, which
// only the plain widgets and their subclasses without an interface of their own reach.
QAccessibleInterface* TopLevelRole(const QString& className, QObject* object) {
    if (className != QLatin1String("QWidget")) return nullptr;
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget || !widget->isWindow()) return nullptr;
    const Qt::WindowType type = widget->windowType();
    if (type != Qt::Window && type != Qt::Dialog) return nullptr;
    return new QAccessibleWidget(widget,
                                 type == Qt::Dialog ? QAccessible::Dialog : QAccessible::Window);
}

QString PlainLines(std::string_view text) {
    QString lines = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return lines;
}

QMessageBox::Icon IconOf(BoxStyle style) {
    switch (style) {
        case BoxStyle::kOk:
            break;
        case BoxStyle::kOkCritical:
        case BoxStyle::kYesNoCritical:
            return QMessageBox::Critical;
        case BoxStyle::kOkExclamation:
        case BoxStyle::kYesNoExclamation:
            return QMessageBox::Warning;
        case BoxStyle::kOkInformation:
            return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

int QtMessageBox::Show(std::string_view text, BoxStyle style, std::optional<std::string> title) {
    const QMessageBox::Icon icon = IconOf(style);
    const bool yesNo = IsYesNo(style);

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

    if (!yesNo) return kAnswerOk;
    return box.clickedButton() == yes ? kAnswerYes : kAnswerNo;
}

QtBusyPointer::~QtBusyPointer() { Restore(); }

void QtBusyPointer::SetHourglass() {
    if (set_) return;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    set_ = true;
}

void QtBusyPointer::Restore() {
    if (!set_) return;
    set_ = false;
    if (QGuiApplication::instance() != nullptr) QGuiApplication::restoreOverrideCursor();
}

void QtFileDialog::ShowOpen() {
    const QString picked = QFileDialog::getOpenFileName(QApplication::activeWindow());
    if (!picked.isEmpty()) fileName_ = QDir::toNativeSeparators(picked).toStdString();
}

std::optional<std::string> QtSaveDialog::ShowSave(std::string_view title,
                                                  const std::string& proposed) {
    QFileDialog dialog(QApplication::activeWindow(),
                       QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())),
                       QString::fromStdString(proposed));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(
        {QStringLiteral("Comma-separated values (*.csv)"), QStringLiteral("All files (*)")});
    // The dialog adds the extension before it asks about a file that exists, so that the
    // question names the file that would be replaced.
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.front().isEmpty()) return std::nullopt;
    return QDir::toNativeSeparators(chosen.front()).toStdString();
}

void InstallWindowRoles() {
    static const bool installed = [] {
        QAccessible::installFactory(TopLevelRole);
        return true;
    }();
    (void)installed;
}

// The window itself: closing it is a Stop, and it stays until the run closes it.
class QtProgress::Window : public QWidget {
  public:
    Window(std::string_view title, long total, bool& stopped)
        : QWidget(nullptr, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                               Qt::CustomizeWindowHint),
          stopped_(stopped) {
        InstallWindowRoles();
        setObjectName(QStringLiteral("frmProgress"));
        setWindowTitle(QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())));
        setWindowModality(Qt::ApplicationModal);

        line = new QLabel(this);
        line->setObjectName(QStringLiteral("lblLine"));
        line->setMinimumHeight(line->fontMetrics().lineSpacing());
        bar = new QProgressBar(this);
        bar->setObjectName(QStringLiteral("barProgress"));
        bar->setRange(0, static_cast<int>(std::clamp<long>(total, 0, INT_MAX)));
        bar->setTextVisible(false);
        stop = new QPushButton(QStringLiteral("Stop"), this);
        stop->setObjectName(QStringLiteral("cmdStop"));
        stop->setDefault(true);
        QObject::connect(stop, &QPushButton::clicked, this, [this] { Stop(); });

        auto* layout = new QVBoxLayout(this);
        layout->setObjectName(QStringLiteral("layProgress"));
        layout->addWidget(line);
        layout->addWidget(bar);
        layout->addWidget(stop, 0, Qt::AlignHCenter);
        setFixedSize(360, sizeHint().height());
    }

    void Stop() {
        stopped_ = true;
        stop->setEnabled(false);
    }

    QLabel* line = nullptr;
    QProgressBar* bar = nullptr;
    QPushButton* stop = nullptr;

  protected:
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        Stop();
    }

  private:
    bool& stopped_;
};

// Lets through everything but user input to other windows and requests to close them.
class QtProgress::InputFilter : public QObject {
  public:
    explicit InputFilter(QtProgress& owner) : owner_(owner) {}

    bool eventFilter(QObject* receiver, QEvent* event) override {
        if (!IsInputOrClose(event->type()) || IsInProgressWindow(receiver)) return false;
        return true;
    }

  private:
    static bool IsInputOrClose(QEvent::Type type) {
        switch (type) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::MouseMove:
            case QEvent::Wheel:
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::ShortcutOverride:
            case QEvent::Shortcut:
            case QEvent::ContextMenu:
            case QEvent::TouchBegin:
            case QEvent::TouchUpdate:
            case QEvent::TouchEnd:
            case QEvent::TabletPress:
            case QEvent::TabletRelease:
            case QEvent::TabletMove:
            case QEvent::Close:
                return true;
            default:
                return false;
        }
    }

    bool IsInProgressWindow(QObject* receiver) const {
        const QWidget* window = owner_.window_.get();
        if (window == nullptr) return false;
        if (auto* widget = qobject_cast<QWidget*>(receiver)) return widget->window() == window;
        if (auto* handle = qobject_cast<QWindow*>(receiver)) {
            return handle == window->windowHandle();
        }
        return false;
    }

    QtProgress& owner_;
};

QtProgress::QtProgress() : filter_(std::make_unique<InputFilter>(*this)) {}

QtProgress::~QtProgress() { Close(); }

void QtProgress::Open(std::string_view title, long total) {
    if (QApplication::instance() == nullptr) {
        throw Error("The progress window cannot be shown: there is no application window.");
    }
    QWidget* over = QApplication::activeWindow();
    window_ = std::make_unique<Window>(title, total, stopped_);
    window_->winId();  // makes the native window, so that it can stay above `over`
    if (over != nullptr && over->windowHandle() != nullptr) {
        window_->windowHandle()->setTransientParent(over->windowHandle());
        QRect place = window_->frameGeometry();
        place.moveCenter(over->frameGeometry().center());
        window_->move(place.topLeft());
    }
    window_->show();
    window_->stop->setFocus();
}

void QtProgress::Update(long line, std::string_view text) {
    if (!window_) return;
    window_->line->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    window_->bar->setValue(static_cast<int>(std::clamp<long>(line, 0, window_->bar->maximum())));
}

bool QtProgress::Pump() noexcept {
    if (QApplication::instance() == nullptr) return stopped_;
    // Every event handler of the program is a boundary that throws nothing.
    QApplication::instance()->installEventFilter(filter_.get());
    QApplication::processEvents(QEventLoop::AllEvents);
    if (QApplication::instance() != nullptr) {
        QApplication::instance()->removeEventFilter(filter_.get());
    }
    return stopped_;
}

void QtProgress::Close() noexcept {
    window_.reset();
    stopped_ = false;
}

}  // namespace seedwell::app
