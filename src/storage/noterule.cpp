#include "storage/noterule.h"

namespace NoteRule {

bool hasNoteExtension(QStringView name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot <= 0)
        return false;
    const QStringView extension = name.sliced(dot + 1);
    return extension.compare(u"md", Qt::CaseInsensitive) == 0 ||
           extension.compare(u"txt", Qt::CaseInsensitive) == 0;
}

bool isTrashFolderName(QStringView name)
{
    return name.compare(u"trash", Qt::CaseInsensitive) == 0;
}

} // namespace NoteRule
