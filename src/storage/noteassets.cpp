#include "storage/noteassets.h"

#include "platform/naturalorder.h"
#include "platform/filenames.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

#include <sys/stat.h>

namespace NoteAssets {

QString folderOf(const QString &notePath)
{
    const QFileInfo note(notePath);
    return note.path() + u'/' + note.completeBaseName() + suffix;
}

QString noteStemOf(QStringView folderName)
{
    if (folderName.size() <= suffix.size() || !folderName.endsWith(suffix))
        return {};
    return folderName.chopped(suffix.size()).toString();
}

bool isShared(const QString &notePath)
{
    const QFileInfo note(notePath);
    const QString stem = note.path() + u'/' + note.completeBaseName() + u'.';
    // Every spelling of the note extensions: "X.md", "X.MD", "X.Txt"…
    for (const QLatin1String extension : {QLatin1String("md"), QLatin1String("txt")}) {
        for (unsigned upper = 0; upper < (1u << extension.size()); ++upper) {
            QString name = stem;
            for (qsizetype i = 0; i < extension.size(); ++i) {
                const QChar c = QLatin1Char(extension[i]);
                name += (upper >> i) & 1 ? c.toUpper() : c;
            }
            struct stat status;
            if (name != notePath && ::lstat(FileNames::encode(name).constData(), &status) == 0 &&
                S_ISREG(status.st_mode))
                return true;
        }
    }
    return false;
}

QStringList fileNames(const QString &notePath)
{
    if (isShared(notePath))
        return {};
    const QFileInfo folder(folderOf(notePath));
    if (!folder.isDir() || folder.isSymLink())
        return {};
    QStringList names = QDir(folder.filePath()).entryList(QDir::Files | QDir::Hidden);
    std::sort(names.begin(), names.end(),
              [](const QString &a, const QString &b) { return NaturalOrder::compare(a, b) < 0; });
    return names;
}

QString deletionNotice(const QString &notePath)
{
    const QStringList names = fileNames(notePath);
    if (names.isEmpty())
        return {};
    constexpr qsizetype shown = 5;
    QString notice = QStringLiteral("画像 %1 件も削除されます: ").arg(names.size()) +
                     names.mid(0, shown).join(QStringLiteral("、"));
    if (names.size() > shown)
        notice += QStringLiteral(" ほか %1 件").arg(names.size() - shown);
    return notice;
}

} // namespace NoteAssets
