#include "storage/notelines.h"

#include <QStringList>

#include <algorithm>

namespace NoteLines {

bool isSpaceOrTab(QChar c)
{
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

QStringView trimmed(QStringView line)
{
    qsizetype begin = 0;
    qsizetype end = line.size();
    while (begin < end && isSpaceOrTab(line[begin]))
        ++begin;
    while (end > begin && isSpaceOrTab(line[end - 1]))
        --end;
    return line.sliced(begin, end - begin);
}

bool isBlank(QStringView line)
{
    return trimmed(line).isEmpty();
}

bool isFenceLine(QStringView line)
{
    return trimmed(line) == u"---";
}

bool isClosingFence(QStringView line)
{
    const QStringView text = trimmed(line);
    return text == u"---" || text == u"...";
}

std::optional<KeyLine> splitKeyLine(QStringView line)
{
    const QStringView text = trimmed(line);
    const qsizetype colon = text.indexOf(u':');
    if (colon < 0)
        return std::nullopt;
    return KeyLine{trimmed(text.first(colon)), trimmed(text.sliced(colon + 1))};
}

bool isJoplinKeyLine(QStringView line)
{
    const std::optional<KeyLine> keyLine = splitKeyLine(line);
    if (!keyLine || keyLine->key.isEmpty())
        return false;
    const auto isAsciiLetter = [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
    };
    const auto isWordChar = [&](QChar c) {
        return isAsciiLetter(c) || (c >= u'0' && c <= u'9') || c == u'_';
    };
    const QStringView key = keyLine->key;
    return isAsciiLetter(key.front()) && std::all_of(key.begin() + 1, key.end(), isWordChar);
}

bool isJoplinMetadataLine(QStringView line)
{
    static const QStringList joplinKeys = {
        QStringLiteral("source_application"), QStringLiteral("parent_id"),
        QStringLiteral("markup_language"),    QStringLiteral("type_"),
        QStringLiteral("user_created_time"),  QStringLiteral("created_time"),
        QStringLiteral("todo_due"),           QStringLiteral("encryption_applied"),
    };
    const std::optional<KeyLine> keyLine = splitKeyLine(line);
    if (!keyLine)
        return false;
    const QString key = keyLine->key.toString().toLower();
    if (key == u"source")
        return keyLine->value.contains(u"joplin", Qt::CaseInsensitive);
    return joplinKeys.contains(key);
}

} // namespace NoteLines
