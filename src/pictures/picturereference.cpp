#include "pictures/picturereference.h"

namespace PictureReferences {
namespace {

bool isEscapable(QChar c)
{
    return c.unicode() < 128 && (c.isPunct() || c.isSymbol());
}

/// Past a code span starting at `at` (a backtick run), or `at` + run when it is not closed.
qsizetype skipCodeSpan(QStringView line, qsizetype at)
{
    qsizetype run = 0;
    while (at + run < line.size() && line[at + run] == u'`')
        ++run;
    for (qsizetype i = at + run; i < line.size();) {
        if (line[i] != u'`') {
            ++i;
            continue;
        }
        qsizetype closing = 0;
        while (i + closing < line.size() && line[i + closing] == u'`')
            ++closing;
        if (closing == run)
            return i + closing;
        i += closing;
    }
    return at + run;
}

QString unescaped(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\\' && i + 1 < text.size() && isEscapable(text[i + 1]))
            ++i;
        out.append(text[i]);
    }
    return out;
}

/// The end of the alt text: the "]" that closes the one at `open`, brackets nested.
qsizetype closingBracket(QStringView line, qsizetype open)
{
    int depth = 0;
    for (qsizetype i = open; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == u'\\') {
            ++i;
        } else if (c == u'[') {
            ++depth;
        } else if (c == u']' && --depth == 0) {
            return i;
        }
    }
    return -1;
}

qsizetype skipSpaces(QStringView line, qsizetype i)
{
    while (i < line.size() && (line[i] == u' ' || line[i] == u'\t'))
        ++i;
    return i;
}

/// Parses "(destination "title")" starting at the "(" at `open`; fills the destination and
/// returns the index past ")", or -1.
qsizetype parseTarget(QStringView line, qsizetype open, PictureReference &out)
{
    qsizetype i = skipSpaces(line, open + 1);
    out.destinationStart = i;
    if (i < line.size() && line[i] == u'<') {
        qsizetype j = i + 1;
        for (; j < line.size() && line[j] != u'>'; ++j) {
            if (line[j] == u'<')
                return -1;
            if (line[j] == u'\\')
                ++j;
        }
        if (j >= line.size())
            return -1;
        out.destination = unescaped(line.mid(i + 1, j - i - 1));
        i = j + 1;
    } else {
        int depth = 0;
        qsizetype j = i;
        for (; j < line.size(); ++j) {
            const QChar c = line[j];
            if (c == u'\\') {
                ++j;
                continue;
            }
            if (c == u' ' || c == u'\t' || c.unicode() < 0x20)
                break;
            if (c == u'(')
                ++depth;
            if (c == u')' && depth-- == 0)
                break;
        }
        j = qMin(j, line.size());
        out.destination = unescaped(line.mid(i, j - i));
        i = j;
    }
    out.destinationLength = i - out.destinationStart;
    i = skipSpaces(line, i);
    if (i < line.size() && (line[i] == u'"' || line[i] == u'\'' || line[i] == u'(')) {
        const QChar close = line[i] == u'(' ? u')' : line[i];
        qsizetype j = i + 1;
        for (; j < line.size() && line[j] != close; ++j) {
            if (line[j] == u'\\')
                ++j;
        }
        if (j >= line.size())
            return -1;
        i = skipSpaces(line, j + 1);
    }
    if (i >= line.size() || line[i] != u')')
        return -1;
    return i + 1;
}

} // namespace

QList<PictureReference> find(QStringView line)
{
    QList<PictureReference> found;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == u'\\') {
            ++i;
            continue;
        }
        if (c == u'`') {
            i = skipCodeSpan(line, i) - 1;
            continue;
        }
        if (c != u'!' || i + 1 >= line.size() || line[i + 1] != u'[')
            continue;
        const qsizetype close = closingBracket(line, i + 1);
        if (close < 0 || close + 1 >= line.size() || line[close + 1] != u'(')
            continue;
        PictureReference picture;
        const qsizetype end = parseTarget(line, close + 1, picture);
        if (end < 0)
            continue;
        picture.start = i;
        picture.length = end - i;
        picture.alt = unescaped(line.mid(i + 2, close - i - 2));
        found.append(picture);
        i = end - 1;
    }
    return found;
}

bool isPictureLine(QStringView line, const QList<PictureReference> &pictures)
{
    return !pictures.isEmpty() && withoutPictures(line, pictures).trimmed().isEmpty();
}

QString withoutPictures(QStringView line, const QList<PictureReference> &pictures)
{
    QString out;
    qsizetype from = 0;
    for (const PictureReference &picture : pictures) {
        out += line.mid(from, picture.start - from);
        from = picture.start + picture.length;
    }
    out += line.mid(from);
    return out;
}

QString destinationText(const QString &relativePath)
{
    QString out;
    out.reserve(relativePath.size() + 2);
    out += u'<';
    for (const QChar c : relativePath) {
        if (c == u'<' || c == u'>' || c == u'\\' || c == u'%' || c.unicode() < 0x20)
            out += QString::fromLatin1(QByteArray(1, char(c.unicode())).toPercentEncoding());
        else
            out += c;
    }
    out += u'>';
    return out;
}

} // namespace PictureReferences
