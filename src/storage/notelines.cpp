#include "storage/notelines.h"

#include <QStringList>

#include <algorithm>

namespace NoteLines {

bool isSpaceOrTab(QChar c)
{
    // The only space separator below U+0080 is the space itself.
    if (c.unicode() < 0x80)
        return c == u' ' || c == u'\t';
    return c.category() == QChar::Separator_Space;
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

namespace {

// A marker at the start of the line, followed by nothing but spaces and tabs. An indented one
// is part of a value above it (a block scalar's text), not a fence.
bool isMarkerLine(QStringView line, QStringView marker)
{
    if (!line.startsWith(marker))
        return false;
    const QStringView rest = line.sliced(marker.size());
    return std::all_of(rest.begin(), rest.end(), [](QChar c) { return c == u' ' || c == u'\t'; });
}

} // namespace

bool isFenceLine(QStringView line)
{
    return isMarkerLine(line, u"---");
}

bool isClosingFence(QStringView line)
{
    return isMarkerLine(line, u"---") || isMarkerLine(line, u"...");
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
    const QStringView rawKey = keyLine->key;
    // Every key of a header is checked, so the common ASCII key is lowered without allocating.
    const bool isAscii =
        std::all_of(rawKey.begin(), rawKey.end(), [](QChar c) { return c.unicode() < 0x80; });
    const QString key = isAscii ? QString() : rawKey.toString().toLower();
    const auto keyIs = [&](QStringView lowered) {
        if (!isAscii)
            return key == lowered;
        return rawKey.size() == lowered.size() && rawKey.compare(lowered, Qt::CaseInsensitive) == 0;
    };
    if (keyIs(u"source"))
        return keyLine->value.contains(u"joplin", Qt::CaseInsensitive);
    return std::any_of(joplinKeys.begin(), joplinKeys.end(), keyIs);
}

} // namespace NoteLines
