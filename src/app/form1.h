#pragma once
// Brindle's main window: lays out the controls and wires each one to its
// handler. The rules live in the download and progress libraries. Controls
// keep the layout's object names ("Text1", "Command1", "Label2", ...), by
// which tests and tools find them; the members are named for what they hold.

#include "download/download_command.h"
#include "download/runner.h"
#include "platform/http_probe.h"
#include "progress/picture_box.h"

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

class Form1 : public QWidget, public download::CommandView
{
    Q_OBJECT
public:
    // Ends the program at once and does not return; tests pass one that
    // returns, to look at the window after its close.
    using EndProgram = std::function<void()>;

    explicit Form1(EndProgram endProgram = {}, QWidget *parent = nullptr);
    ~Form1() override;

    qint64 filesize() const { return command_->filesize(); }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    // Draws the empty bar, restores the remembered address, starts the tick.
    void load();
    // Keeps the address beginning with "http://".
    void onAddressChanged();
    // Shows total and current size and redraws the bar at their ratio.
    void onTick();
    void onMakerLinkClicked();
    void drawbar(std::uint8_t percent);

    QString address() const override;
    void setAddressEnabled(bool enabled) override;
    QString caption() const override;
    void setCaption(const QString &caption) override;

    EndProgram endProgram_;
    int tpp_; // the screen's twips per pixel, for the layout and the bar
    download::DownloadFolder folder_; // where wget writes, and the file it writes there
    QLabel *addressCaption_ = nullptr;   // Label1, "File URL"
    QLineEdit *addressBox_ = nullptr;    // Text1, the file's address
    QPushButton *commandButton_ = nullptr; // Command1, Download / Pause
    QLabel *totalLabel_ = nullptr;       // Label2, total size in MB
    QLabel *currentLabel_ = nullptr;     // Label3, current size in MB
    QLabel *totalCaption_ = nullptr;     // Label4, "Total (MB)"
    QLabel *currentCaption_ = nullptr;   // Label5, "Current (MB)"
    progress::PictureBox *barPicture_ = nullptr; // Picture1, the gradient bar
    QLabel *percentLabel_ = nullptr;     // Label6, the percentage on the bar
    LinkLabel *makerLink_ = nullptr;     // Label7, the maker's web address
    QTimer *tickTimer_ = nullptr;        // Timer1, the display's tick
    platform::HttpProbe *sizeProbe_ = nullptr; // Inet1, the HEAD request
    std::unique_ptr<progress::LabelOnPicture> percentOnBar_; // percentLabel_ as the bar's label
    download::Runner runner_;
    std::unique_ptr<download::DownloadCommand> command_;
};

} // namespace app
