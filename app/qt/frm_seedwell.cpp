#include "app/qt/frm_seedwell.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>

#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QRect>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>

#include "app/qt/qt_ui.h"

namespace seedwell::app {

namespace {

/// Twips as device-independent pixels (96 to the inch).
constexpr int Px(int twips) { return TwipsToPixels(twips, 96); }

QRect Pixels(const ControlEntry& entry) {
    return QRect(Px(entry.left), Px(entry.top), Px(entry.width), Px(entry.height));
}

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void Place(QWidget* widget, std::string_view name, QRect pixels) {
    widget->setObjectName(Text(name));
    widget->setGeometry(pixels);
    widget->setFixedSize(pixels.size());
}

QPushButton* MakeButton(QWidget* parent, const ControlEntry& entry) {
    auto* button = new QPushButton(Text(entry.caption), parent);
    Place(button, entry.name, Pixels(entry));
    button->setAutoDefault(false);
    button->setDefault(false);
    button->setFocusPolicy(Qt::StrongFocus);
    return button;
}

QLineEdit* MakeTextBox(QWidget* parent, const ControlEntry& entry) {
    auto* box = new QLineEdit(parent);
    Place(box, entry.name, Pixels(entry));
    box->setFocusPolicy(Qt::StrongFocus);
    return box;
}

QLabel* MakeLabel(QWidget* parent, const ControlEntry& entry) {
    auto* label = new QLabel(parent);
    Place(label, entry.name, Pixels(entry));
    label->setTextFormat(Qt::PlainText);
    label->setText(Text(entry.caption));
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setFocusPolicy(Qt::NoFocus);
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    return label;
}

bool FitsIn(const QFont& font, const QLabel* label) {
    const QRect needed = QFontMetrics(font).boundingRect(
        QRect(QPoint(0, 0), QSize(label->width(), QWIDGETSIZE_MAX)),
        Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, label->text());
    return needed.width() <= label->width() && needed.height() <= label->height();
}

// The boxes were laid out for a narrow 8-point dialog font. Platform fonts are often wider or
// taller, which would cut help texts off; the largest size (down to 6 points) of the
// platform's font, or failing that of a font of the classic dialog width, at which every
// label shows its whole text is used instead.
QFont FittingFont(const QFont& preferred, const QList<QLabel*>& labels) {
    const QStringList families = {preferred.family(),
                                  QStringLiteral("Microsoft Sans Serif"),
                                  QStringLiteral("Liberation Sans"),
                                  QStringLiteral("Arial"),
                                  QStringLiteral("Helvetica"),
                                  QStringLiteral("Nimbus Sans")};
    const qreal start = preferred.pointSizeF() > 0 ? preferred.pointSizeF() : 9.0;
    for (qreal size = start; size >= 6.0; size -= 0.5) {
        for (const QString& family : families) {
            QFont font = preferred;
            font.setFamily(family);
            font.setPointSizeF(size);
            if (family != preferred.family() &&
                QFontInfo(font).family().compare(family, Qt::CaseInsensitive) != 0) {
                continue;  // not installed
            }
            if (std::all_of(labels.begin(), labels.end(),
                            [&](const QLabel* label) { return FitsIn(font, label); })) {
                return font;
            }
        }
    }
    return preferred;
}

}  // namespace

QIcon SeedwellIcon() { return QIcon(QStringLiteral(":/seedwell/seedwell.ico")); }

class frmSeedwell::View : public FormView {
  public:
    explicit View(frmSeedwell& form) : form_(form) {}
    std::string FileText() override { return form_.txtFile->text().toStdString(); }
    std::string RootText() override { return form_.txtRoot->text().toStdString(); }
    void FocusFile() override { form_.txtFile->setFocus(); }
    void FocusRoot() override { form_.txtRoot->setFocus(); }
    void SetFileText(const std::string& text) override {
        form_.txtFile->setText(QString::fromStdString(text));
    }
    void SetRootText(const std::string& text) override {
        form_.txtRoot->setText(QString::fromStdString(text));
    }
    void Unload() noexcept override { form_.close(); }

  private:
    frmSeedwell& form_;
};

frmSeedwell::frmSeedwell(const provisioning::Services& services, const Screen& screen,
                         FileDialog& cd, QWidget* parent)
    : frmSeedwell(services, screen, cd, RunImport, RunDelete, parent) {}

frmSeedwell::frmSeedwell(const provisioning::Services& services, const Screen& screen,
                         FileDialog& cd, RunFunction runImport, RunFunction runDelete,
                         QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::CustomizeWindowHint),
      view_(std::make_unique<View>(*this)),
      handlers_(services, screen, cd, std::move(runImport), std::move(runDelete)) {
    app::InstallWindowRoles();
    setObjectName(Text(kFormName));
    setWindowTitle(Text(kFormCaption));
    setWindowIcon(SeedwellIcon());
    setFixedSize(Px(kClientWidthTwips), Px(kClientHeightTwips));

    // Created in tab order, so that the focus chain is that order before it is set explicitly.
    QWidget* frame = nullptr;
    QWidget* previous = nullptr;
    for (const ControlEntry& entry : kControls) {
        QWidget* control = Make(entry, frame);
        if (entry.kind == ControlKind::kFrame) frame = control;
        if (TakesFocus(entry)) {
            if (previous != nullptr) setTabOrder(previous, control);
            previous = control;
        }
    }
    cmdSelect = findChild<QPushButton*>(QStringLiteral("cmdSelect"));
    txtFile = findChild<QLineEdit*>(QStringLiteral("txtFile"));
    txtRoot = findChild<QLineEdit*>(QStringLiteral("txtRoot"));
    auto* label1 = findChild<QLabel*>(QStringLiteral("Label1"));
    txtFile->setAccessibleName(QStringLiteral("Import file"));
    label1->setBuddy(txtRoot);
    txtRoot->setAccessibleName(label1->text());

    setFont(FittingFont(font(), findChildren<QLabel*>()));

    for (const ControlEntry& entry : kControls) {
        const ClickHandler handler = ClickHandlerOf(entry.name);
        if (handler == nullptr) continue;
        connect(findChild<QPushButton*>(Text(entry.name)), &QPushButton::clicked, this,
                [this, handler] { (handlers_.*handler)(*view_); });
    }

    handlers_.Form_Load(*view_);
}

frmSeedwell::~frmSeedwell() = default;

QWidget* frmSeedwell::Make(const ControlEntry& entry, QWidget* frame) {
    QWidget* parent = entry.insideFrame ? frame : this;
    switch (entry.kind) {
        case ControlKind::kButton:
            return MakeButton(parent, entry);
        case ControlKind::kTextBox:
            return MakeTextBox(parent, entry);
        case ControlKind::kLabel:
            return MakeLabel(parent, entry);
        case ControlKind::kFrame:
            break;
    }
    auto* box = new QGroupBox(Text(entry.caption), parent);
    Place(box, entry.name, Pixels(entry));
    box->setFocusPolicy(Qt::NoFocus);
    return box;
}

void frmSeedwell::showEvent(QShowEvent* event) {
    if (!shown_ && !event->spontaneous()) {
        shown_ = true;
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(),
                                            screen->availableGeometry()));
        }
        cmdSelect->setFocus();
    }
    QWidget::showEvent(event);
}

}  // namespace seedwell::app
