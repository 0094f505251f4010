#include "notes/notenaming.h"

#include <QFileInfo>

#include <algorithm>

namespace NoteNaming {

QString trimmedName(const QString &name)
{
    return name.trimmed();
}

bool containsControlCharacter(QStringView text)
{
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.category() == QChar::Other_Control; });
}

bool isUsableName(const QString &name)
{
    const QString trimmed = trimmedName(name);
    return !trimmed.isEmpty() && !trimmed.startsWith(u'.') && !trimmed.contains(u'/') &&
           !containsControlCharacter(name);
}

QString newNoteFileName(const QString &input)
{
    QString name = trimmedName(input);
    if (!name.endsWith(QStringLiteral(".md")))
        name += QStringLiteral(".md");
    return name;
}

bool isTooLong(const QString &fileName)
{
    return NoteStore::isNameTooLong(fileName);
}

QString tooLongMessage()
{
    return NoteStore::nameTooLongMessage();
}

QString numberedFileName(const QString &fileName, int n)
{
    if (n == 0)
        return fileName;
    const QFileInfo info(fileName);
    const QString suffix = info.suffix().isEmpty() ? QString() : QString(u'.' + info.suffix());
    return info.completeBaseName() + QStringLiteral(" (") + QString::number(n) + u')' + suffix;
}

bool isTaken(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

QString freeNotePath(const QString &folder, const QString &fileName)
{
    for (int n = 0;; ++n) {
        const QString candidate = folder + u'/' + numberedFileName(fileName, n);
        if (!isTaken(candidate))
            return candidate;
    }
}

} // namespace NoteNaming
