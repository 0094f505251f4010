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

bool isTaken(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

QString freeNotePath(const QString &folder, const QString &fileName)
{
    const QString first = folder + u'/' + fileName;
    if (!isTaken(first))
        return first;
    const QFileInfo info(fileName);
    const QString base = info.completeBaseName();
    const QString suffix = info.suffix().isEmpty() ? QString() : QString(u'.' + info.suffix());
    for (int n = 1;; ++n) {
        const QString candidate =
            folder + u'/' + base + QStringLiteral(" (") + QString::number(n) + u')' + suffix;
        if (!isTaken(candidate))
            return candidate;
    }
}

} // namespace NoteNaming
