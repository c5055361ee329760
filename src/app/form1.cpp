#include "app/form1.h"

#include "app/hand_cursor.h"
#include "app/link_label.h"
#include "app/shutdown.h"
#include "download/address_rules.h"
#include "download/remembered_address.h"
#include "platform/browser.h"
#include "platform/file_length.h"
#include "platform/screen_metric.h"
#include "progress/sampling.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <limits>

namespace app {
namespace {

// The display refreshes every half second when idle. While a download runs,
// ticks are handled only once per wait cycle of the runner
// (Runner::kWaitMilliseconds + kSleepMilliseconds, about 550 ms): change the
// two together.
constexpr int kTickMilliseconds = 500;

// The layout is in twips, 1440 to the inch; every control is placed with the
// screen's twips per pixel, the one the bar draws with, so the window keeps
// its proportions at any logical DPI.
QRect twips(int left, int top, int width, int height, int tpp)
{
    return QRect(left / tpp, top / tpp, width / tpp, height / tpp);
}

QLabel *makeLabel(QWidget *parent, const char *name, const QString &text, QRect geometry)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    label->setAutoFillBackground(true);
    return label;
}

} // namespace

Form1::Form1(EndProgram endProgram, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                          | Qt::WindowCloseButtonHint),
      endProgram_(endProgram ? std::move(endProgram) : EndProgram([] { endprogram(); })),
      tpp_(platform::twipsPerPixelX()),
      folder_(download::DownloadFolder::current())
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Brindle"));
    // The layout's sizes were drawn for a small face of about 8 points; the
    // platform's own family at 7.5 points keeps every caption whole.
    QFont face = font();
    face.setPointSizeF(7.5);
    setFont(face);
    setFixedSize(5370 / tpp_, 2535 / tpp_);
    buildControls();
    command_ = std::make_unique<download::DownloadCommand>(*this, *sizeProbe_, runner_, folder_);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    load();
}

Form1::~Form1() = default;

void Form1::buildControls()
{
    addressCaption_ = makeLabel(this, "Label1", QStringLiteral("File URL"), twips(120, 120, 735, 255, tpp_));

    addressBox_ = new QLineEdit(download::kPrefix, this);
    addressBox_->setObjectName(QStringLiteral("Text1"));
    addressBox_->setGeometry(twips(960, 75, 3015, 375, tpp_));
    // No length limit of Brindle's own: a pasted address is kept whole.
    addressBox_->setMaxLength(std::numeric_limits<int>::max());
    connect(addressBox_, &QLineEdit::textChanged, this, &Form1::onAddressChanged);

    commandButton_ = new QPushButton(download::kDownloadCaption, this);
    commandButton_->setObjectName(QStringLiteral("Command1"));
    commandButton_->setGeometry(twips(4200, 0, 975, 495, tpp_));
    commandButton_->setAutoDefault(false);
    commandButton_->setDefault(false);
    connect(commandButton_, &QPushButton::clicked, this, [this] { command_->click(); });

    totalLabel_ = makeLabel(this, "Label2", QStringLiteral("0"), twips(1200, 840, 3135, 375, tpp_));
    currentLabel_ = makeLabel(this, "Label3", QStringLiteral("0"), twips(1200, 1320, 3015, 375, tpp_));
    totalCaption_ = makeLabel(this, "Label4", QStringLiteral("Total (MB)"), twips(120, 840, 855, 255, tpp_));
    currentCaption_ = makeLabel(this, "Label5", QStringLiteral("Current (MB)"), twips(120, 1320, 975, 255, tpp_));

    // Screen readers announce each field with its caption.
    addressCaption_->setBuddy(addressBox_);
    totalCaption_->setBuddy(totalLabel_);
    currentCaption_->setBuddy(currentLabel_);

    barPicture_ = new progress::PictureBox(4215, 375, tpp_, this);
    barPicture_->setObjectName(QStringLiteral("Picture1"));
    barPicture_->setAccessibleName(QStringLiteral("Download progress"));
    barPicture_->move(600 / tpp_, 1800 / tpp_);

    percentLabel_ = new QLabel(QStringLiteral("0%"), barPicture_);
    percentLabel_->setObjectName(QStringLiteral("Label6"));
    percentLabel_->setGeometry(twips(1800, 0, 495, 255, tpp_));
    percentLabel_->setAlignment(Qt::AlignCenter);
    percentLabel_->setAttribute(Qt::WA_TranslucentBackground);
    QPalette white = percentLabel_->palette();
    white.setColor(QPalette::WindowText, Qt::white);
    percentLabel_->setPalette(white);
    percentOnBar_ = std::make_unique<progress::LabelOnPicture>(percentLabel_);

    makerLink_ = new LinkLabel(kMakerAddress, this);
    makerLink_->setObjectName(QStringLiteral("Label7"));
    makerLink_->setGeometry(twips(3480, 2280, 1935, 255, tpp_));
    makerLink_->setAutoFillBackground(true);
    QPalette grey = makerLink_->palette();
    grey.setColor(QPalette::WindowText, QColor(128, 128, 128));
    makerLink_->setPalette(grey);
    makerLink_->setCursor(handcursor());
    connect(makerLink_, &LinkLabel::clicked, this, &Form1::onMakerLinkClicked);

    setTabOrder(addressBox_, commandButton_);
    addressBox_->setFocus();

    tickTimer_ = new QTimer(this);
    tickTimer_->setObjectName(QStringLiteral("Timer1"));
    tickTimer_->setInterval(kTickMilliseconds);
    connect(tickTimer_, &QTimer::timeout, this, &Form1::onTick);

    sizeProbe_ = new platform::HttpProbe(std::chrono::seconds(60), this);
    sizeProbe_->setObjectName(QStringLiteral("Inet1"));
}

void Form1::load()
{
    drawbar(0);
    addressBox_->setText(download::restoreaddress());
    tickTimer_->start();
}

void Form1::drawbar(std::uint8_t percent)
{
    if (progress::drawwindowbar(percent, *barPicture_, *percentOnBar_, tpp_) == 0)
        barPicture_->setPercent(percent);
}

void Form1::onAddressChanged()
{
    if (const auto replacement = download::prefixrule(addressBox_->text()))
        addressBox_->setText(*replacement);
}

void Form1::onTick()
{
    const QByteArray path = folder_.fileFor(addressBox_->text());
    const auto tick = progress::sampletick(filesize(), platform::fileLength(path), currentLabel_->text());
    totalLabel_->setText(tick.total);
    currentLabel_->setText(tick.current);
    if (tick.percent)
        drawbar(*tick.percent);
}

void Form1::onMakerLinkClicked()
{
    // A page that cannot be opened must not end a running download, and its
    // message must not hold up the download, Pause or closing: it is shown
    // without a modal loop of its own.
    if (const auto error = platform::openInBrowser(kMakerAddress)) {
        auto *box = new QMessageBox(QMessageBox::Warning, windowTitle(), *error, QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::NonModal);
        box->show();
    }
}

void Form1::closeEvent(QCloseEvent *event)
{
    // Closing is never refused. A running wget is stopped, its partial file
    // kept for the next Download, and the program ends here: the program's
    // endProgram_ does not return, so no waiting press ever resumes (tests
    // pass one that does, and look at the closed window).
    event->accept();
    runner_.terminate();
    endProgram_();
}

QString Form1::address() const
{
    return addressBox_->text();
}

void Form1::setAddressEnabled(bool enabled)
{
    addressBox_->setEnabled(enabled);
}

QString Form1::caption() const
{
    return commandButton_->text();
}

void Form1::setCaption(const QString &caption)
{
    commandButton_->setText(caption);
}

} // namespace app
