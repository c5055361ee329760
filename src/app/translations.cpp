#include "app/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace app {
namespace {

const QString kTranslatorName = QStringLiteral("brindleTranslator");

// A translator owned by the application, found again by its name to be
// replaced.
bool install(const QString &catalogue, const QString &folder)
{
    auto *translator = new QTranslator(QCoreApplication::instance());
    translator->setObjectName(kTranslatorName);
    if (!translator->load(catalogue, folder) || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    return true;
}

} // namespace

QString installedTranslations()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/" BRINDLE_TRANSLATIONS_FROM_BINARY);
}

QLocale installTranslations(const QLocale &locale, const QString &folder)
{
    const auto earlier = QCoreApplication::instance()->findChildren<QTranslator *>(kTranslatorName,
                                                                                  Qt::FindDirectChildrenOnly);
    qDeleteAll(earlier);
    for (QString language : locale.uiLanguages()) {
        language.replace(QLatin1Char('-'), QLatin1Char('_'));
        if (language == QLatin1String("C"))
            return QLocale::c();
        if (language.startsWith(QLatin1String("en")))
            return QLocale(language);
        // "de_DE" finds brindle_de_DE.qm or else brindle_de.qm.
        if (install(QStringLiteral("brindle_") + language, folder)) {
            install(QStringLiteral("qtbase_") + language, QLibraryInfo::path(QLibraryInfo::TranslationsPath));
            return QLocale(language);
        }
    }
    return QLocale::c();
}

} // namespace app
