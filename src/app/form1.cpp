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
      // The downloader writes into the working directory it inherits, which
      // Brindle never changes.
      downloadFolder_(platform::workingDirectory()),
      longestName_(platform::longestName(downloadFolder_))
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
    command_ = std::make_unique<download::DownloadCommand>(*this, *inet1_, runner_);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    load();
}

Form1::~Form1() = default;

void Form1::buildControls()
{
    label1_ = makeLabel(this, "Label1", QStringLiteral("File URL"), twips(120, 120, 735, 255, tpp_));

    text1_ = new QLineEdit(download::kPrefix, this);
    text1_->setObjectName(QStringLiteral("Text1"));
    text1_->setGeometry(twips(960, 75, 3015, 375, tpp_));
    // No length limit of Brindle's own: a pasted address is kept whole.
    text1_->setMaxLength(std::numeric_limits<int>::max());
    connect(text1_, &QLineEdit::textChanged, this, &Form1::text1Change);

    command1_ = new QPushButton(download::kDownloadCaption, this);
    command1_->setObjectName(QStringLiteral("Command1"));
    command1_->setGeometry(twips(4200, 0, 975, 495, tpp_));
    command1_->setAutoDefault(false);
    command1_->setDefault(false);
    connect(command1_, &QPushButton::clicked, this, [this] { command_->click(); });

    label2_ = makeLabel(this, "Label2", QStringLiteral("0"), twips(1200, 840, 3135, 375, tpp_));
    label3_ = makeLabel(this, "Label3", QStringLiteral("0"), twips(1200, 1320, 3015, 375, tpp_));
    label4_ = makeLabel(this, "Label4", QStringLiteral("Total (MB)"), twips(120, 840, 855, 255, tpp_));
    label5_ = makeLabel(this, "Label5", QStringLiteral("Current (MB)"), twips(120, 1320, 975, 255, tpp_));

    // Screen readers announce each field with its caption.
    label1_->setBuddy(text1_);
    label4_->setBuddy(label2_);
    label5_->setBuddy(label3_);

    picture1_ = new progress::PictureBox(4215, 375, tpp_, this);
    picture1_->setObjectName(QStringLiteral("Picture1"));
    picture1_->move(600 / tpp_, 1800 / tpp_);

    label6_ = new QLabel(QStringLiteral("0%"), picture1_);
    label6_->setObjectName(QStringLiteral("Label6"));
    label6_->setGeometry(twips(1800, 0, 495, 255, tpp_));
    label6_->setAlignment(Qt::AlignCenter);
    label6_->setAttribute(Qt::WA_TranslucentBackground);
    QPalette white = label6_->palette();
    white.setColor(QPalette::WindowText, Qt::white);
    label6_->setPalette(white);
    barLabel_ = std::make_unique<progress::LabelOnPicture>(label6_);

    label7_ = new LinkLabel(kMakerAddress, this);
    label7_->setObjectName(QStringLiteral("Label7"));
    label7_->setGeometry(twips(3480, 2280, 1935, 255, tpp_));
    label7_->setAutoFillBackground(true);
    QPalette grey = label7_->palette();
    grey.setColor(QPalette::WindowText, QColor(128, 128, 128));
    label7_->setPalette(grey);
    label7_->setCursor(handcursor());
    connect(label7_, &LinkLabel::clicked, this, &Form1::label7Click);

    setTabOrder(text1_, command1_);
    text1_->setFocus();

    timer1_ = new QTimer(this);
    timer1_->setObjectName(QStringLiteral("Timer1"));
    timer1_->setInterval(500);
    connect(timer1_, &QTimer::timeout, this, &Form1::timer1Tick);

    inet1_ = new platform::HttpProbe(std::chrono::seconds(60), this);
    inet1_->setObjectName(QStringLiteral("Inet1"));
}

void Form1::load()
{
    drawbar(0);
    text1_->setText(download::restoreaddress());
    timer1_->start();
}

void Form1::drawbar(std::uint8_t percent)
{
    progress::drawwindowbar(percent, *picture1_, *barLabel_, tpp_);
}

void Form1::text1Change()
{
    if (const auto replacement = download::prefixrule(text1_->text()))
        text1_->setText(*replacement);
}

void Form1::timer1Tick()
{
    const QByteArray path = downloadFolder_ + '/' + download::wgetfilename(text1_->text(), longestName_);
    const auto tick = progress::sampletick(filesize(), platform::fileLength(path), label3_->text());
    label2_->setText(tick.total);
    label3_->setText(tick.current);
    if (tick.percent)
        drawbar(*tick.percent);
}

void Form1::label7Click()
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
    runner_.terminate();
    endProgram_();
    event->accept();
}

QString Form1::address() const
{
    return text1_->text();
}

void Form1::setAddressEnabled(bool enabled)
{
    text1_->setEnabled(enabled);
}

QString Form1::caption() const
{
    return command1_->text();
}

void Form1::setCaption(const QString &caption)
{
    command1_->setText(caption);
}

} // namespace app
