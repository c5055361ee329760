#pragma once
// Brindle's main window: lays out the controls and wires each one to its
// handler. The rules live in the download and progress libraries. Each
// control's object name is its member's name without the underscore, by
// which tests and tools find it.

#include "download/download_command.h"
#include "download/runner.h"
#include "platform/desktop_notifications.h"
#include "platform/http_probe.h"
#include "platform/launcher_entry.h"
#include "platform/message_bus.h"
#include "platform/sleep_inhibitor.h"
#include "progress/gradient_bar.h"

#include <QLocale>
#include <QWidget>
#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace app {

class LinkLabel;

// The maker's web address, shown by the link label and opened by its click.
inline const QString kMakerAddress = QStringLiteral("https://example.org/");
// The desktop entry's name without ".desktop", also the icon's: the desktop
// finds Brindle's window, notifications and task-bar entry by it.
inline const QString kDesktopEntry = QStringLiteral("org.example.Brindle");

class MainWindow : public QWidget, public download::CommandView
{
    Q_OBJECT
public:
    // Ends the program at once and does not return; tests pass one that
    // returns, to look at the window after its close.
    using EndProgram = std::function<void()>;

    // `language` is the window's language (installTranslations's choice):
    // the figures and the percentage are written in it.
    explicit MainWindow(EndProgram endProgram = {}, const QLocale &language = QLocale::c(),
                        QWidget *parent = nullptr);
    ~MainWindow() override;

    qint64 totalBytes() const { return command_->totalBytes(); }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    // The layout's button holds "Download" and "Pause" with the style's
    // margin. A longer caption in the user's language ("Herunterladen")
    // widens it to the left, into the space before it, never up to the
    // address box; the wider of the two captions decides, so the button
    // keeps its size from one to the other.
    void fitButtonCaptions();
    // Draws the bar at 0 %, restores the remembered address, starts the tick.
    void load();
    // Keeps the address beginning with "http://".
    void onAddressChanged();
    // Shows total and current size and redraws the bar at their ratio.
    void onDisplayTick();
    // Shows the sizes for the file's length, nothing when it cannot be read.
    void showSizes(std::optional<qint64> length);
    // While wget runs: the task bar shows the file's share, rising.
    void showTaskBarProgress(std::optional<qint64> length);
    // The end of a press told to the desktop: the task bar's progress taken
    // off, and a notification for a user who is not looking.
    void tellDesktop(const download::PressOutcome &outcome, std::optional<qint64> length);
    void onMakerLinkClicked();
    void drawBar(std::uint8_t percent);

    QString address() const override;
    void setAddressEnabled(bool enabled) override;
    void setCaption(const QString &caption) override;
    // While wget runs the computer stays awake.
    void downloaderRuns(bool runs) override;
    void pressEnded(const download::PressOutcome &outcome) override;
    // The command names the button's two captions in English; the window
    // shows them in the user's language.
    static QString captionText(const QString &caption);

    EndProgram endProgram_;
    int twipsPerPixel_; // the screen's, for the layout and the bar
    QLocale language_; // the figures' and the percentage's
    QLabel *addressCaption_ = nullptr;
    QLineEdit *addressBox_ = nullptr;
    QPushButton *downloadButton_ = nullptr;
    QLabel *totalSize_ = nullptr; // totalBytes() in MiB
    QLabel *currentSize_ = nullptr; // in MiB
    QLabel *totalSizeCaption_ = nullptr;
    QLabel *currentSizeCaption_ = nullptr;
    progress::GradientBar *progressBar_ = nullptr;
    QLabel *percentLabel_ = nullptr;
    LinkLabel *makerLink_ = nullptr;
    QTimer *displayTimer_ = nullptr;
    platform::HttpProbe *sizeProbe_ = nullptr;
    std::unique_ptr<progress::LabelOnBar> percentOnBar_; // percentLabel_ as the bar's label
    platform::MessageBus *sessionBus_ = nullptr;
    platform::MessageBus *systemBus_ = nullptr;
    platform::SleepInhibitor *sleepInhibitor_ = nullptr;
    platform::DesktopNotifications *notifications_ = nullptr;
    platform::LauncherEntry *launcherEntry_ = nullptr;
    std::optional<double> taskBarShown_; // the share the task bar shows; nothing when none
    download::Runner runner_;
    std::unique_ptr<download::DownloadCommand> command_;
};

} // namespace app
