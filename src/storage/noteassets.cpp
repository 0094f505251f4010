#include "storage/noteassets.h"

#include "platform/naturalorder.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

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

QStringList fileNames(const QString &notePath)
{
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
