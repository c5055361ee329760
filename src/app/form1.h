#pragma once
// Brindle's main window: lays out the controls and wires each one to its
// handler. The rules live in the download and progress libraries.

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
    // Ends the program at once; replaced only by tests.
    using EndProgram = std::function<void()>;

    explicit Form1(EndProgram endProgram = {}, QWidget *parent = nullptr);
    ~Form1() override;

    qint64 filesize() const { return command_->filesize(); }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void load();
    void text1Change();
    void timer1Tick();
    void label7Click();
    void drawbar(std::uint8_t percent);

    QString address() const override;
    void setAddressEnabled(bool enabled) override;
    QString caption() const override;
    void setCaption(const QString &caption) override;

    EndProgram endProgram_;
    int tpp_;
    QByteArray downloadFolder_;
    long longestName_;
    QLabel *label1_ = nullptr;
    QLineEdit *text1_ = nullptr;
    QPushButton *command1_ = nullptr;
    QLabel *label2_ = nullptr;
    QLabel *label3_ = nullptr;
    QLabel *label4_ = nullptr;
    QLabel *label5_ = nullptr;
    progress::PictureBox *picture1_ = nullptr;
    QLabel *label6_ = nullptr;
    LinkLabel *label7_ = nullptr;
    QTimer *timer1_ = nullptr;
    platform::HttpProbe *inet1_ = nullptr;
    std::unique_ptr<progress::LabelOnPicture> barLabel_;
    download::Runner runner_;
    std::unique_ptr<download::DownloadCommand> command_;
};

} // namespace app
