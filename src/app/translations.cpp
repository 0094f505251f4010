#include "app/translations.h"

#include "platform/diagnostics.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace Translations {

bool installQtJapanese(QObject *owner)
{
    auto *translator = new QTranslator(owner);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                          QStringLiteral("_"), folder)) {
        Diagnostics::log(QStringLiteral("Qt の日本語訳が見つかりません: ") + folder);
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

} // namespace Translations
