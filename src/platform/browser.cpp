#include "platform/browser.h"

#include <QProcess>

namespace platform {

std::optional<QString> openInBrowser(const QString &address)
{
    QProcess opener;
    opener.setProgram(QStringLiteral("xdg-open"));
    opener.setArguments({address});
    opener.setStandardInputFile(QProcess::nullDevice());
    opener.setStandardOutputFile(QProcess::nullDevice());
    opener.setStandardErrorFile(QProcess::nullDevice());
    if (opener.startDetached())
        return std::nullopt;
    return opener.errorString();
}

} // namespace platform
