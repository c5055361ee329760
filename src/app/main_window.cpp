#include "app/main_window.h"

#include "app/desktop_report.h"
#include "app/hand_cursor.h"
#include "app/link_label.h"
#include "app/window_layout.h"
#include "download/address_rules.h"
#include "download/remembered_address.h"
#include "platform/browser.h"
#include "platform/files_on_disk.h"
#include "platform/screen_metric.h"
#include "platform/shutdown.h"
#include "progress/sampling.h"
#include "progress/twips.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QStyleHints>
#include <QStyleOptionButton>
#include <QTimer>
#include <algorithm>
#include <limits>

namespace app {
namespace {

// The display refreshes every half second, also during a download: the
// runner waits in an event loop, so the timer keeps its own beat.
constexpr int kTickMilliseconds = 500;

// The layout is in twips, 1440 to the inch; every control is placed with the
// screen's twips per pixel and the conversion the bar draws with, so the
// window keeps its proportions at any logical DPI.
QRect fromTwips(const layout::TwipsRect &place, int twipsPerPixel)
{
    return QRect(progress::wholePixels(place.left, twipsPerPixel), progress::wholePixels(place.top, twipsPerPixel),
                 progress::wholePixels(place.width, twipsPerPixel), progress::wholePixels(place.height, twipsPerPixel));
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

MainWindow::MainWindow(EndProgram endProgram, const QLocale &language, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                          | Qt::WindowCloseButtonHint),
      endProgram_(endProgram ? std::move(endProgram) : EndProgram([] { platform::endProgramNow(); })),
      twipsPerPixel_(platform::screenTwipsPerPixel()),
      language_(language)
{
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(QStringLiteral("Brindle"));
    // The layout's sizes were drawn for a small face of about 8 points; the
    // platform's own family at 7.5 points keeps every caption whole.
    QFont face = font();
    face.setPointSizeF(7.5);
    setFont(face);
    setFixedSize(progress::wholePixels(layout::kWindowWidth, twipsPerPixel_),
                 progress::wholePixels(layout::kWindowHeight, twipsPerPixel_));
    buildControls();
    command_ = std::make_unique<download::DownloadCommand>(*this, *sizeProbe_, runner_);
    command_->setDoubleClickInterval(std::chrono::milliseconds(QGuiApplication::styleHints()->mouseDoubleClickInterval()));
    if (const std::optional<QPoint> centre = platform::screenCentre())
        move(*centre - rect().center());
    load();
}

MainWindow::~MainWindow() = default;

void MainWindow::buildControls()
{
    //: Brindle's window: each text must fit its place. To add a language,
    //: copy this catalogue to translations/brindle_<language>.ts and
    //: translate it; README.md, "Languages", names the two other files and
    //: the line it takes in translations/LINGUAS.
    addressCaption_ = makeLabel(this, "addressCaption", tr("File URL"), fromTwips(layout::kAddressCaption, twipsPerPixel_));

    addressBox_ = new QLineEdit(download::kPrefix, this);
    addressBox_->setObjectName(QStringLiteral("addressBox"));
    addressBox_->setGeometry(fromTwips(layout::kAddressBox, twipsPerPixel_));
    // No length limit of Brindle's own: a pasted address is kept whole.
    addressBox_->setMaxLength(std::numeric_limits<int>::max());
    connect(addressBox_, &QLineEdit::textChanged, this, &MainWindow::onAddressChanged);

    downloadButton_ = new QPushButton(captionText(download::kDownloadCaption), this);
    downloadButton_->setObjectName(QStringLiteral("downloadButton"));
    downloadButton_->setGeometry(fromTwips(layout::kDownloadButton, twipsPerPixel_));
    connect(downloadButton_, &QPushButton::clicked, this, [this] { command_->click(); });
    fitButtonCaptions();

    totalSize_ = makeLabel(this, "totalSize", QStringLiteral("0"), fromTwips(layout::kTotalSize, twipsPerPixel_));
    currentSize_ = makeLabel(this, "currentSize", QStringLiteral("0"), fromTwips(layout::kCurrentSize, twipsPerPixel_));
    totalSizeCaption_ = makeLabel(this, "totalSizeCaption", tr("Total (MB)"),
                                  fromTwips(layout::kTotalSizeCaption, twipsPerPixel_));
    currentSizeCaption_ = makeLabel(this, "currentSizeCaption", tr("Current (MB)"),
                                    fromTwips(layout::kCurrentSizeCaption, twipsPerPixel_));

    // A screen reader finds each field labelled by its caption; the address
    // box also takes its name from it, while a size figure is named by the
    // figure itself.
    addressCaption_->setBuddy(addressBox_);
    totalSizeCaption_->setBuddy(totalSize_);
    currentSizeCaption_->setBuddy(currentSize_);

    progressBar_ = new progress::GradientBar(layout::kProgressBar.width, layout::kProgressBar.height, twipsPerPixel_, this);
    progressBar_->setObjectName(QStringLiteral("progressBar"));
    progressBar_->setAccessibleName(tr("Download progress"));
    progressBar_->setLocale(language_); // its percentage, as a screen reader reads it
    progressBar_->move(progress::wholePixels(layout::kProgressBar.left, twipsPerPixel_),
                       progress::wholePixels(layout::kProgressBar.top, twipsPerPixel_));

    percentLabel_ = new QLabel(QStringLiteral("0%"), progressBar_);
    percentLabel_->setObjectName(QStringLiteral("percentLabel"));
    percentLabel_->setGeometry(fromTwips(layout::kPercentLabel, twipsPerPixel_));
    percentLabel_->setAlignment(Qt::AlignCenter);
    percentLabel_->setAttribute(Qt::WA_TranslucentBackground);
    QPalette white = percentLabel_->palette();
    white.setColor(QPalette::WindowText, Qt::white);
    percentLabel_->setPalette(white);
    percentOnBar_ = std::make_unique<progress::LabelOnBar>(percentLabel_);

    makerLink_ = new LinkLabel(kMakerAddress, this);
    makerLink_->setObjectName(QStringLiteral("makerLink"));
    makerLink_->setGeometry(fromTwips(layout::kMakerLink, twipsPerPixel_));
    makerLink_->setAutoFillBackground(true);
    QPalette grey = makerLink_->palette();
    grey.setColor(QPalette::WindowText, QColor(128, 128, 128));
    makerLink_->setPalette(grey);
    makerLink_->setCursor(handCursor());
    connect(makerLink_, &LinkLabel::clicked, this, &MainWindow::onMakerLinkClicked);

    setTabOrder(addressBox_, downloadButton_);
    addressBox_->setFocus();

    displayTimer_ = new QTimer(this);
    displayTimer_->setObjectName(QStringLiteral("displayTimer"));
    displayTimer_->setInterval(kTickMilliseconds);
    connect(displayTimer_, &QTimer::timeout, this, &MainWindow::onDisplayTick);

    sizeProbe_ = new platform::HttpProbe(std::chrono::seconds(60), this);
    sizeProbe_->setObjectName(QStringLiteral("sizeProbe"));

    sessionBus_ = new platform::MessageBus(platform::MessageBus::Kind::Session, this);
    systemBus_ = new platform::MessageBus(platform::MessageBus::Kind::System, this);
    sleepInhibitor_ = new platform::SleepInhibitor(*sessionBus_, *systemBus_, QStringLiteral("Brindle"), this);
    notifications_ = new platform::DesktopNotifications(*sessionBus_, QStringLiteral("Brindle"), kDesktopEntry,
                                                        kDesktopEntry, this);
    launcherEntry_ = new platform::LauncherEntry(*sessionBus_, kDesktopEntry, this);
}

void MainWindow::fitButtonCaptions()
{
    QStyle *style = downloadButton_->style();
    QStyleOptionButton option;
    option.initFrom(downloadButton_);
    const int room = style->subElementRect(QStyle::SE_PushButtonContents, &option, downloadButton_).width();
    const int margin = style->pixelMetric(QStyle::PM_ButtonMargin, &option, downloadButton_);
    const QFontMetrics metrics = downloadButton_->fontMetrics();
    const int widest = std::max(metrics.horizontalAdvance(captionText(download::kDownloadCaption)),
                                metrics.horizontalAdvance(captionText(download::kPauseCaption)));
    QRect place = downloadButton_->geometry();
    place.setLeft(std::max(place.left() - std::max(widest + margin - room, 0),
                           addressBox_->geometry().right() + 1 + margin / 2));
    downloadButton_->setGeometry(place);
}

void MainWindow::load()
{
    drawBar(0);
    addressBox_->setText(download::restoreAddress());
    displayTimer_->start();
}

void MainWindow::drawBar(std::uint8_t percent)
{
    if (progress::drawWindowBar(percent, *progressBar_, *percentOnBar_, twipsPerPixel_, language_) == 0)
        progressBar_->setPercent(percent);
}

void MainWindow::onAddressChanged()
{
    if (const auto replacement = download::prefixRule(addressBox_->text()))
        addressBox_->setText(*replacement);
}

void MainWindow::onDisplayTick()
{
    // While a press runs the figures follow its file, not a box that a
    // screen reader or voice control changed meanwhile.
    const bool idle = command_->state() == download::DownloadCommand::State::Idle;
    const auto length =
        platform::lengthOnDisk(idle ? command_->folder().fileFor(addressBox_->text()) : command_->pressedFile());
    showSizes(length);
    if (command_->state() == download::DownloadCommand::State::Downloading)
        showTaskBarProgress(length);
}

void MainWindow::showTaskBarProgress(std::optional<qint64> length)
{
    if (const auto share = app::taskBarProgress(totalBytes(), length, taskBarShown_)) {
        launcherEntry_->showProgress(*share);
        taskBarShown_ = share;
    }
}

void MainWindow::showSizes(std::optional<qint64> length)
{
    const auto tick = progress::sampleTick(totalBytes(), length, currentSize_->text(), language_);
    totalSize_->setText(tick.total);
    currentSize_->setText(tick.current);
    if (tick.percent)
        drawBar(*tick.percent);
}

void MainWindow::onMakerLinkClicked()
{
    // A page that cannot be opened must not end a running download, and its
    // message must not hold up the download, Pause or closing: it is shown
    // without a modal loop of its own.
    if (const auto error = platform::openInBrowser(kMakerAddress)) {
        const QString text = tr("No browser could be started for %1: %2").arg(kMakerAddress, *error);
        auto *box = new QMessageBox(QMessageBox::Warning, windowTitle(), text, QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::NonModal);
        box->show();
    }
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Closing is never refused, and the program ends here: endProgram_
    // does not return, so no waiting press ever resumes (tests pass one
    // that does, and look at the closed window).
    event->accept();
    command_->abandon();
    endProgram_();
}

QString MainWindow::address() const
{
    return addressBox_->text();
}

void MainWindow::setAddressEnabled(bool enabled)
{
    addressBox_->setEnabled(enabled);
}

void MainWindow::setCaption(const QString &caption)
{
    downloadButton_->setText(captionText(caption));
}

void MainWindow::downloaderRuns(bool runs)
{
    if (runs)
        sleepInhibitor_->hold(app::stayAwakeReason(command_->pressedFile(), download::shownAddress(addressBox_->text())));
    else
        sleepInhibitor_->release();
}

QString MainWindow::captionText(const QString &caption)
{
    if (caption == download::kDownloadCaption)
        return tr("Download");
    if (caption == download::kPauseCaption)
        return tr("Pause");
    return caption;
}

void MainWindow::pressEnded(const download::PressOutcome &outcome)
{
    // A file that the press moved away is no download stalled where it was:
    // the figures show what is under the name now, nothing as 0. A file gone
    // for reasons of its own keeps the last reading.
    const auto length = outcome.file.isEmpty() ? std::nullopt : platform::lengthOnDisk(outcome.file);
    if (!outcome.keptAs.isEmpty())
        showSizes(length.value_or(0));
    tellDesktop(outcome, length);
}

void MainWindow::tellDesktop(const download::PressOutcome &outcome, std::optional<qint64> length)
{
    if (taskBarShown_) {
        launcherEntry_->hideProgress();
        taskBarShown_.reset();
    }
    // Any of Brindle's windows in front (the window, or its message box)
    // means the user sees the end.
    if (!app::notifiesEnd(outcome.ending, QApplication::activeWindow() != nullptr))
        return;
    // The address names a press without a file (no folder, no host).
    const auto notice = app::pressNotice(outcome, download::shownAddress(outcome.address), length, language_);
    const download::DownloadFolder &folder = command_->folder();
    notifications_->notify({notice.summary, notice.body, folder.path.isEmpty() ? QString() : tr("Open Folder"),
                            folder.path, length ? outcome.file : QByteArray()});
}

} // namespace app
