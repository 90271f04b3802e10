#include "app/frm_seedwell.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <string>
#include <utility>

#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>

#include "platform/registry.h"

namespace seedwell::app {

namespace {

/// Twips (15 to a pixel at 96 dots per inch) as device-independent pixels.
consteval int Px(int twips) {
    if (twips % 15 != 0) {
        throw "not a whole number of pixels";
    }
    return twips / 15;
}

constexpr int kClientWidth = Px(5775);
constexpr int kClientHeight = Px(5535);

const char* const kCaption = "Import/Delete Mailboxes";
const char* const kLabel2Text =
    "Import file needs to be a plain comma-delimited  text file with each line formatted as:";
const char* const kLabel3Text = "postoffice,emailaddress,password";
const char* const kLabel4Text =
    "The post office must already exist. Mailboxes and domains will be created based on the "
    "email address. For instance, jsmith@example.com will generate a mailbox called \"jsmith\" "
    "and add the domain \"example.com\" if it doesn't already exist.";
const char* const kLabel5Text = "An example line of an import file would be:";
const char* const kLabel6Text = "main,jsmith@example.com,secret";
const char* const kLabel7Text =
    "If deleting mailboxes, you just need the postoffice and email address (or mailbox name "
    "instead of email address). ALWAYS back up before deletion.";

void Place(QWidget* widget, const char* name, QRect pixels) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(pixels);
    widget->setFixedSize(pixels.size());
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, QRect pixels) {
    auto* button = new QPushButton(QString::fromUtf8(caption), parent);
    Place(button, name, pixels);
    button->setAutoDefault(false);
    button->setDefault(false);
    button->setFocusPolicy(Qt::StrongFocus);
    return button;
}

QLineEdit* MakeTextBox(QWidget* parent, const char* name, QRect pixels) {
    auto* box = new QLineEdit(parent);
    Place(box, name, pixels);
    box->setFocusPolicy(Qt::StrongFocus);
    return box;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* caption, QRect pixels) {
    auto* label = new QLabel(parent);
    Place(label, name, pixels);
    label->setTextFormat(Qt::PlainText);
    label->setText(QString::fromUtf8(caption));
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

class frmSeedwell::Adapter : public RunWindow {
  public:
    explicit Adapter(frmSeedwell& form) : form_(form) {}
    std::string FileText() override { return form_.txtFile->text().toStdString(); }
    std::string RootText() override { return form_.txtRoot->text().toStdString(); }
    void FocusFile() override { form_.txtFile->setFocus(); }

  private:
    frmSeedwell& form_;
};

frmSeedwell::frmSeedwell(const RunContext& context, platform::FileDialog& cd, QWidget* parent)
    : frmSeedwell(context, cd, RunImport, RunDelete, parent) {}

frmSeedwell::frmSeedwell(const RunContext& context, platform::FileDialog& cd, RunFunction runImport,
                         RunFunction runDelete, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::CustomizeWindowHint),
      context_(context),
      cd_(cd),
      runImport_(std::move(runImport)),
      runDelete_(std::move(runDelete)) {
    setObjectName(QStringLiteral("frmSeedwell"));
    setWindowTitle(QString::fromUtf8(kCaption));
    setWindowIcon(SeedwellIcon());
    setFixedSize(kClientWidth, kClientHeight);

    // Created in tab order, so that the focus chain is that order before it is set explicitly.
    cmdSelect =
        MakeButton(this, "cmdSelect", "Select File...", QRect(Px(120), Px(120), Px(1215), Px(375)));
    txtFile = MakeTextBox(this, "txtFile", QRect(Px(1440), Px(120), Px(3735), Px(405)));
    txtFile->setAccessibleName(QStringLiteral("Import file"));
    txtRoot = MakeTextBox(this, "txtRoot", QRect(Px(120), Px(960), Px(5055), Px(285)));
    cmdImport =
        MakeButton(this, "cmdImport", "Import", QRect(Px(120), Px(5040), Px(1215), Px(375)));
    cmdQuit = MakeButton(this, "cmdQuit", "Quit", QRect(Px(4440), Px(5040), Px(1215), Px(375)));
    Label1 = MakeLabel(this, "Label1",
                       "Root post office directory:", QRect(Px(120), Px(720), Px(1815), Px(255)));
    Label1->setBuddy(txtRoot);
    txtRoot->setAccessibleName(Label1->text());

    Info = new QGroupBox(QStringLiteral("Info"), this);
    Place(Info, "Info", QRect(Px(120), Px(1440), Px(5535), Px(3495)));
    Info->setFocusPolicy(Qt::NoFocus);
    Label2 = MakeLabel(Info, "Label2", kLabel2Text, QRect(Px(120), Px(240), Px(5175), Px(375)));
    Label3 = MakeLabel(Info, "Label3", kLabel3Text, QRect(Px(120), Px(720), Px(3855), Px(255)));
    Label4 = MakeLabel(Info, "Label4", kLabel4Text, QRect(Px(120), Px(1080), Px(5175), Px(855)));
    Label5 = MakeLabel(Info, "Label5", kLabel5Text, QRect(Px(120), Px(2040), Px(5055), Px(255)));
    Label6 = MakeLabel(Info, "Label6", kLabel6Text, QRect(Px(120), Px(2400), Px(4095), Px(255)));
    cmdDelete =
        MakeButton(this, "cmdDelete", "Delete", QRect(Px(2280), Px(5040), Px(1215), Px(375)));
    Label7 = MakeLabel(Info, "Label7", kLabel7Text, QRect(Px(120), Px(2760), Px(5055), Px(615)));

    setFont(FittingFont(font(), findChildren<QLabel*>()));

    setTabOrder(cmdSelect, txtFile);
    setTabOrder(txtFile, txtRoot);
    setTabOrder(txtRoot, cmdImport);
    setTabOrder(cmdImport, cmdQuit);
    setTabOrder(cmdQuit, cmdDelete);

    connect(cmdSelect, &QPushButton::clicked, this, &frmSeedwell::cmdSelect_Click);
    connect(cmdImport, &QPushButton::clicked, this, &frmSeedwell::cmdImport_Click);
    connect(cmdDelete, &QPushButton::clicked, this, &frmSeedwell::cmdDelete_Click);
    connect(cmdQuit, &QPushButton::clicked, this, &frmSeedwell::cmdQuit_Click);

    Form_Load();
}

frmSeedwell::~frmSeedwell() = default;

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

template <typename Handler>
void frmSeedwell::Handle(Handler handler) {
    std::string description;
    try {
        handler();
        return;
    } catch (const std::exception& failure) {
        description = failure.what();
    } catch (...) {
        description = "An unknown failure occurred.";
    }
    try {
        context_.messages.Show(description, platform::kMbOkCritical, std::nullopt);
    } catch (...) {
        // The program ends below whether or not the failure could be shown.
    }
    close();
}

void frmSeedwell::Form_Load() {
    const std::string dataDirectory =
        platform::GetDataDirectory(context_.registry, context_.codePage);
    txtRoot->setText(
        QString::fromStdString(context_.files.BuildPath(dataDirectory, "Postoffices")));
}

void frmSeedwell::cmdSelect_Click() {
    Handle([this] {
        cd_.ShowOpen();
        txtFile->setText(QString::fromStdString(cd_.FileName()));
    });
}

void frmSeedwell::cmdImport_Click() {
    Handle([this] {
        Adapter window(*this);
        runImport_(window, context_);
    });
}

void frmSeedwell::cmdDelete_Click() {
    Handle([this] {
        Adapter window(*this);
        runDelete_(window, context_);
    });
}

void frmSeedwell::cmdQuit_Click() { close(); }

}  // namespace seedwell::app
