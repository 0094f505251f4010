#include "storage/notedocument.h"

#include "storage/notedates.h"
#include "storage/notelines.h"

#include <QHash>
#include <QStringBuilder>

#include <algorithm>
#include <array>
#include <span>

namespace {

using namespace NoteLines;
using Lines = std::span<const QStringView>;

// The lines are consecutive pieces of one text split at "\n", so their join is simply the span of
// text they cover; this keeps a large body to a single copy.
QStringView joinedLines(Lines lines)
{
    if (lines.empty())
        return {};
    const QStringView last = lines.back();
    return QStringView(lines.front().data(), last.data() + last.size());
}

QStringList toStrings(Lines lines)
{
    QStringList strings;
    strings.reserve(qsizetype(lines.size()));
    for (const QStringView line : lines)
        strings.append(line.toString());
    return strings;
}

qsizetype skipBlankLines(Lines lines, qsizetype index)
{
    while (index < qsizetype(lines.size()) && isBlank(lines[index]))
        ++index;
    return index;
}

bool isJoplinMetadata(Lines lines)
{
    return std::any_of(lines.begin(), lines.end(), NoteLines::isJoplinMetadataLine);
}

struct Block
{
    qsizetype open;  // index of the opening fence
    qsizetype close; // index of the closing fence
};

std::optional<Block> findLeadingBlock(Lines lines, qsizetype index)
{
    const qsizetype open = skipBlankLines(lines, index);
    if (open >= qsizetype(lines.size()) || !isFenceLine(lines[open]))
        return std::nullopt;
    const auto close = std::find_if(lines.begin() + open + 1, lines.end(), isClosingFence);
    if (close == lines.end())
        return std::nullopt;
    return Block{open, close - lines.begin()};
}

struct Trailer
{
    qsizetype start; // first line of the metadata
    QStringView text;
};

std::optional<Trailer> findTrailingJoplinBlock(Lines lines)
{
    const auto lastIt = std::find_if_not(lines.rbegin(), lines.rend(), isBlank);
    if (lastIt == lines.rend())
        return std::nullopt;
    const qsizetype last = lines.rend() - lastIt - 1;
    qsizetype start = last;
    if (isClosingFence(lines[last])) {
        do {
            --start;
        } while (start >= 0 && !isFenceLine(lines[start]));
        if (start < 0 || !isJoplinMetadata(lines.subspan(start + 1, last - start - 1)))
            return std::nullopt;
    } else {
        if (!isJoplinKeyLine(lines[last]))
            return std::nullopt;
        while (start > 0 && isJoplinKeyLine(lines[start - 1]))
            --start;
        if (!isJoplinMetadata(lines.subspan(start, last - start + 1)))
            return std::nullopt;
    }
    return Trailer{start, joinedLines(lines.subspan(start, last - start + 1))};
}

// How another application's date key feeds `created` or `updated`.
struct DateKey
{
    QLatin1String key;
    bool updates;      // feeds `updated` rather than `created`
    bool fillsGapOnly; // only used when no earlier line gave a value
};

const DateKey *findDateKey(const QString &key)
{
    static const DateKey dateKeys[] = {
        {QLatin1String("created"), false, false},
        {QLatin1String("date"), false, false},
        {QLatin1String("user_created_time"), false, false},
        {QLatin1String("created_time"), false, true},
        {QLatin1String("updated"), true, false},
        {QLatin1String("modified"), true, false},
        {QLatin1String("user_updated_time"), true, false},
        {QLatin1String("updated_time"), true, true},
    };
    const auto found = std::find_if(std::begin(dateKeys), std::end(dateKeys),
                                    [&](const DateKey &dateKey) { return key == dateKey.key; });
    return found == std::end(dateKeys) ? nullptr : found;
}

void takeDateValue(std::optional<QDateTime> &date, std::optional<QString> &raw,
                   const QString &value, bool fillsGapOnly = false)
{
    if (value.isEmpty() || (fillsGapOnly && raw))
        return;
    raw = value;
    date = parseFrontMatterDateLenient(value);
}

// The keys this program writes, in the order a header it composes has them.
enum OwnedKey { titleKey, createdKey, updatedKey, ownedKeyCount };

const QLatin1String ownedKeyNames[ownedKeyCount] = {
    QLatin1String("title"), QLatin1String("created"), QLatin1String("updated")};

// Only a line that starts with the key exactly as this program writes it, colon right after: an
// indented one belongs to some other entry, and another spelling ("Title:", "title :") to another
// application, whose queries may rely on it.
std::optional<OwnedKey> ownedKeyOf(QStringView line)
{
    for (int key = 0; key < ownedKeyCount; ++key) {
        const QLatin1String name = ownedKeyNames[key];
        if (line.size() > name.size() && line.startsWith(name) && line[name.size()] == u':')
            return OwnedKey(key);
    }
    return std::nullopt;
}

// A top-level line another application wrote for one of this program's keys, with space before
// the colon ("title : x"). YAML reads it as that key, so adding this program's own line beside it
// would give the key twice.
std::optional<OwnedKey> spacedOwnedKeyOf(QStringView line)
{
    if (line.isEmpty() || isSpaceOrTab(line.front()) || ownedKeyOf(line))
        return std::nullopt;
    const std::optional<KeyLine> keyLine = splitKeyLine(line);
    if (!keyLine)
        return std::nullopt;
    const auto *found = std::find(std::begin(ownedKeyNames), std::end(ownedKeyNames), keyLine->key);
    if (found == std::end(ownedKeyNames))
        return std::nullopt;
    return OwnedKey(found - std::begin(ownedKeyNames));
}

QString ownedValue(QStringView line)
{
    return unquoteValue(splitKeyLine(line)->value);
}

using OwnedLines = std::array<qsizetype, ownedKeyCount>;

// For each owned key, the line its value is read from and written to: the last one with a value,
// else the last one; -1 when there is none. Reading and writing the same line keeps a save from
// being undone by a duplicate further down.
OwnedLines findOwnedLines(Lines lines)
{
    OwnedLines found;
    found.fill(-1);
    std::array<bool, ownedKeyCount> hasValue{};
    for (qsizetype i = 0; i < qsizetype(lines.size()); ++i) {
        const std::optional<OwnedKey> key = ownedKeyOf(lines[i]);
        if (!key)
            continue;
        const bool valued = !ownedValue(lines[i]).isEmpty();
        if (valued || !hasValue[*key])
            found[*key] = i;
        hasValue[*key] = hasValue[*key] || valued;
    }
    return found;
}

// A line of another application: a title or date key in any spelling or indentation still tells
// the note's title and dates, as far as this program's own lines leave them open.
void readForeignLine(NoteFrontMatter &header, QStringView line)
{
    const std::optional<KeyLine> keyLine = splitKeyLine(line);
    if (!keyLine)
        return;
    const QString key = keyLine->key.toString().toLower();
    if (key == u"title") {
        header.title = unquoteValue(keyLine->value);
    } else if (const DateKey *dateKey = findDateKey(key)) {
        takeDateValue(dateKey->updates ? header.updated : header.created,
                      dateKey->updates ? header.updatedRaw : header.createdRaw,
                      unquoteValue(keyLine->value), dateKey->fillsGapOnly);
    }
}

// This program's own lines win over every other application's: the values it shows and writes
// back are the ones it wrote, whatever a `date` or `modified` line says.
void readOwnedLines(NoteFrontMatter &header, Lines lines)
{
    const OwnedLines owned = findOwnedLines(lines);
    if (owned[titleKey] >= 0) {
        QString title = ownedValue(lines[owned[titleKey]]);
        if (!title.isEmpty() || !header.title)
            header.title = std::move(title);
    }
    NoteFrontMatter own;
    if (owned[createdKey] >= 0)
        takeDateValue(own.created, own.createdRaw, ownedValue(lines[owned[createdKey]]));
    if (owned[updatedKey] >= 0)
        takeDateValue(own.updated, own.updatedRaw, ownedValue(lines[owned[updatedKey]]));
    if (own.createdRaw) {
        header.created = own.created;
        header.createdRaw = own.createdRaw;
    }
    if (own.updatedRaw) {
        header.updated = own.updated;
        header.updatedRaw = own.updatedRaw;
    }
}

NoteFrontMatter parseHeaderLines(Lines lines)
{
    NoteFrontMatter header;
    header.lines.reserve(qsizetype(lines.size()));
    for (const QStringView line : lines) {
        header.lines.append(line.toString());
        if (!ownedKeyOf(line))
            readForeignLine(header, line);
    }
    readOwnedLines(header, lines);
    return header;
}

// An indented or "- " line continues the value of the key above it.
bool continuesEntry(QStringView line)
{
    const QStringView text = trimmed(line);
    return !text.isEmpty() && !text.startsWith(u'#') &&
           (isSpaceOrTab(line.front()) || text == u"-" || text.startsWith(u"- "));
}

// The last line of the entry that starts at `index`: the lines below a key that continue its
// value, so nothing is inserted between them.
qsizetype endOfEntry(Lines lines, qsizetype index)
{
    while (index + 1 < qsizetype(lines.size()) && continuesEntry(lines[index + 1]))
        ++index;
    return index;
}

QString ownedLine(OwnedKey key, const QString &value)
{
    return ownedKeyNames[key] % QLatin1String(": ") % quoteValue(value);
}

std::optional<QString> dateText(const std::optional<QString> &raw,
                                const std::optional<QDateTime> &date)
{
    if (raw && !raw->isEmpty())
        return raw;
    if (date)
        return formatFrontMatterDate(*date);
    return std::nullopt;
}

// Reads the fenced blocks at the top: at most one header and one Joplin block, in either order.
// Returns the index of the first line after them; `header` is where the header's fences are.
qsizetype readLeadingBlocks(Lines lines, NoteDocumentParts &parts, std::optional<Block> &header)
{
    qsizetype index = 0;
    while (const std::optional<Block> block = findLeadingBlock(lines, index)) {
        const Lines inner = lines.subspan(block->open + 1, block->close - block->open - 1);
        if (isJoplinMetadata(inner)) {
            if (parts.joplinYAML)
                break;
            parts.joplinYAML = joinedLines(lines.subspan(block->open, inner.size() + 2)).toString();
        } else {
            if (parts.obsidian)
                break;
            parts.obsidian = parseHeaderLines(inner);
            header = block;
        }
        index = block->close + 1;
        // Nothing more can be taken, so spare the search for another closing fence in the body.
        if (parts.obsidian && parts.joplinYAML)
            break;
    }
    return index;
}

QStringView normalizedText(const QString &text, QString &storage, bool &byteOrderMark)
{
    QStringView view = text;
    if (text.contains(u'\r')) {
        storage = text;
        storage.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        storage.replace(u'\r', u'\n');
        view = storage;
    }
    byteOrderMark = view.startsWith(QChar(0xFEFF));
    if (byteOrderMark)
        view = view.sliced(1);
    return view;
}

void setDate(std::optional<QDateTime> &date, std::optional<QString> &raw, const QDateTime &value)
{
    date = value;
    raw = formatFrontMatterDate(value);
}

// Fills a missing date from the metadata text if it names one, else from `fallback`.
void completeDate(std::optional<QDateTime> &date, std::optional<QString> &raw,
                  const std::optional<QString> &metadataValue,
                  const std::optional<QDateTime> &fallback)
{
    if (metadataValue) {
        raw = metadataValue;
        date = parseFrontMatterDateLenient(*metadataValue);
    } else if (fallback) {
        setDate(date, raw, *fallback);
    }
}

const QStringList &createdKeys()
{
    static const QStringList keys = {QStringLiteral("user_created_time"),
                                     QStringLiteral("created_time"), QStringLiteral("created"),
                                     QStringLiteral("date")};
    return keys;
}

const QStringList &updatedKeys()
{
    static const QStringList keys = {QStringLiteral("user_updated_time"),
                                     QStringLiteral("updated_time"), QStringLiteral("updated"),
                                     QStringLiteral("modified")};
    return keys;
}

NoteFrontMatter titledHeader(const std::optional<NoteFrontMatter> &frontMatter,
                             const QString &fileName)
{
    NoteFrontMatter header = frontMatter.value_or(NoteFrontMatter{});
    header.title = fileName;
    return header;
}

bool isLineBreak(QChar c)
{
    return (c >= QChar(0x0A) && c <= QChar(0x0D)) || c == QChar(0x85) ||
           c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

} // namespace

NoteDocumentParts parseNoteDocument(const QString &text)
{
    QString storage;
    NoteDocumentParts parts;
    NoteLayout &layout = parts.layout;
    layout.fromText = true;
    const QStringView normalized = normalizedText(text, storage, layout.byteOrderMark);
    const QList<QStringView> allLines = normalized.split(u'\n');
    const Lines lines(allLines.constData(), allLines.size());

    // One blank line separates the header from the body; any further blank lines are the
    // body's own, so a body that starts with empty lines reads back as it was written.
    std::optional<Block> header;
    const qsizetype afterBlocks = readLeadingBlocks(lines, parts, header);
    layout.bodySeparated =
        afterBlocks > 0 && afterBlocks < qsizetype(lines.size()) && isBlank(lines[afterBlocks]);
    const qsizetype bodyStart =
        std::min(layout.bodySeparated ? afterBlocks + 1 : afterBlocks, qsizetype(lines.size()));
    Lines body = lines.subspan(bodyStart);
    if (!parts.joplinYAML) {
        if (const std::optional<Trailer> trailer = findTrailingJoplinBlock(body)) {
            body = body.first(trailer->start);
            while (!body.empty() && isBlank(body.back()))
                body = body.first(body.size() - 1);
            parts.joplinYAML = trailer->text.toString();
            parts.joplinIsTrailing = true;
        }
    }
    parts.body = joinedLines(body).toString();
    layout.bodyHasLines = !body.empty();
    layout.hasHeader = header.has_value();
    layout.before = toStrings(lines.first(header ? header->open + 1 : bodyStart));
    if (header)
        layout.between = toStrings(lines.subspan(header->close, bodyStart - header->close));
    layout.after = toStrings(lines.subspan(bodyStart + qsizetype(body.size())));
    return parts;
}

NoteFrontMatter parseFrontMatterLines(const QStringList &lines)
{
    const QList<QStringView> views(lines.begin(), lines.end());
    return parseHeaderLines(Lines(views.constData(), views.size()));
}

namespace {

// The lines between the fences as a save writes them (see renderFrontMatter).
QStringList renderHeaderLines(const NoteFrontMatter &frontMatter)
{
    const std::array<std::optional<QString>, ownedKeyCount> values = {
        frontMatter.title.value_or(QString()),
        dateText(frontMatter.createdRaw, frontMatter.created),
        dateText(frontMatter.updatedRaw, frontMatter.updated)};
    const QList<QStringView> views(frontMatter.lines.begin(), frontMatter.lines.end());
    const Lines lines(views.constData(), views.size());
    const OwnedLines owned = findOwnedLines(lines);

    // insertions[0] goes above the first line, insertions[i + 1] below line i.
    QList<QStringList> insertions(views.size() + 1);
    std::array<bool, ownedKeyCount> spelledOtherwise{};
    for (const QStringView line : views) {
        if (const std::optional<OwnedKey> key = spacedOwnedKeyOf(line))
            spelledOtherwise[*key] = true;
    }
    // Lines at the top that would continue a key are nobody's value yet: a title put above them
    // would take them as its own and replace them on the next save.
    qsizetype anchor = 0;
    while (anchor < views.size() && continuesEntry(views[anchor]))
        ++anchor;
    for (int key = 0; key < ownedKeyCount; ++key) {
        if (owned[key] >= 0)
            anchor = endOfEntry(lines, owned[key]) + 1;
        else if (values[key] && !spelledOtherwise[key])
            insertions[anchor].append(ownedLine(OwnedKey(key), *values[key]));
    }

    QStringList out;
    out.reserve(views.size() + ownedKeyCount + 2);
    out.append(insertions[0]);
    for (qsizetype i = 0; i < views.size(); ++i) {
        const auto key = std::find(owned.begin(), owned.end(), i) - owned.begin();
        const qsizetype end = key < ownedKeyCount ? endOfEntry(lines, i) : i;
        // A value spread over several lines is replaced whole: it was read as its first line only,
        // and one quoted line followed by the rest would no longer be YAML.
        if (key < ownedKeyCount && values[key] &&
            (end > i || ownedValue(views[i]) != *values[key])) {
            out.append(ownedLine(OwnedKey(key), *values[key]));
            i = end;
        } else {
            out.append(frontMatter.lines[i]);
        }
        out.append(insertions[i + 1]);
    }
    return out;
}

// Joins lines with line feeds, a piece at a time, after a byte-order mark if there was one.
class LineJoiner
{
public:
    LineJoiner(qsizetype size, bool byteOrderMark)
    {
        m_text.reserve(size);
        if (byteOrderMark)
            m_text.append(QChar(0xFEFF));
    }
    void add(QStringView line)
    {
        if (m_any)
            m_text.append(u'\n');
        m_text.append(line);
        m_any = true;
    }
    void add(const QStringList &lines)
    {
        for (const QString &line : lines)
            add(line);
    }
    QString take() { return std::move(m_text); }

private:
    QString m_text;
    bool m_any = false;
};

// The text of `layout` with `headerLines` and `body` in their places. Where the body meets the
// layout, a blank line is put in only when the body would otherwise not read back as it is.
QString spliceNoteText(const NoteLayout &layout, const QStringList &headerLines,
                       const QString &body)
{
    LineJoiner out(body.size() + 1024, layout.byteOrderMark);
    if (layout.hasHeader) {
        out.add(layout.before);
        out.add(headerLines);
        out.add(layout.between);
    } else {
        out.add(u"---");
        out.add(headerLines);
        out.add(u"---");
        // One blank line below a header composed here, as a save has always written it; below a
        // header that is all the note holds, the line feed that ends its closing fence.
        out.add(QStringView());
        if (layout.before.isEmpty() && layout.after.isEmpty() && body.isEmpty())
            return out.take();
        out.add(layout.before);
    }
    const bool hasBody = !body.isEmpty() || layout.bodyHasLines;
    const qsizetype firstBreak = body.indexOf(u'\n');
    const QStringView firstLine =
        QStringView(body).first(firstBreak < 0 ? body.size() : firstBreak);
    const QStringView lastLine = QStringView(body).sliced(body.lastIndexOf(u'\n') + 1);
    // Below fenced blocks the parser takes a first blank line for the separator.
    const bool blocksAbove = layout.hasHeader || !layout.before.isEmpty();
    if (blocksAbove && !layout.bodySeparated && hasBody &&
        (!layout.bodyHasLines || isBlank(firstLine)))
        out.add(QStringView());
    if (hasBody)
        out.add(body);
    // Unfenced trailing metadata is a run of key lines: a last body line like them would join it.
    if (!layout.after.isEmpty() && hasBody && !isBlank(layout.after.front()) &&
        !isFenceLine(layout.after.front()) && isJoplinKeyLine(lastLine))
        out.add(QStringView());
    out.add(layout.after);
    return out.take();
}

} // namespace

QString renderFrontMatter(const NoteFrontMatter &frontMatter)
{
    QStringList lines = renderHeaderLines(frontMatter);
    lines.prepend(QStringLiteral("---"));
    lines.append(QStringLiteral("---"));
    return lines.join(u'\n');
}

QString composeNoteText(const QString &header, const QString &body, const QString &trailer)
{
    QString text;
    text.reserve(header.size() + body.size() + trailer.size() + 4);
    text.append(header);
    text.append(body.isEmpty() ? QLatin1String("\n") : QLatin1String("\n\n"));
    text.append(body);
    if (trailer.isEmpty())
        return text;
    if (!text.endsWith(u'\n'))
        text.append(u'\n');
    if (!text.endsWith(QLatin1String("\n\n")))
        text.append(u'\n');
    text.append(trailer);
    if (!text.endsWith(u'\n'))
        text.append(u'\n');
    return text;
}

bool hasCreated(const NoteFrontMatter &frontMatter)
{
    return frontMatter.created || (frontMatter.createdRaw && !frontMatter.createdRaw->isEmpty());
}

bool hasUpdated(const NoteFrontMatter &frontMatter)
{
    return frontMatter.updated || (frontMatter.updatedRaw && !frontMatter.updatedRaw->isEmpty());
}

std::optional<QString> yamlValue(const std::optional<QString> &text, const QStringList &keys)
{
    if (!text || text->isEmpty())
        return std::nullopt;
    QList<std::optional<QString>> found(keys.size());
    for (const QStringView line : QStringView(*text).split(u'\n')) {
        const std::optional<KeyLine> keyLine = splitKeyLine(line);
        if (!keyLine)
            continue;
        const qsizetype slot = keys.indexOf(keyLine->key.toString().toLower());
        if (slot < 0)
            continue;
        QString value = unquoteValue(keyLine->value);
        if (!value.isEmpty())
            found[slot] = std::move(value);
    }
    const auto first = std::find_if(found.cbegin(), found.cend(),
                                    [](const std::optional<QString> &value) { return value; });
    return first == found.cend() ? std::nullopt : *first;
}

std::optional<QString> firstBodyLine(const QString &text)
{
    const QString body = parseNoteDocument(text).body;
    qsizetype start = 0;
    while (start <= body.size()) {
        const auto end = std::find_if(body.cbegin() + start, body.cend(), isLineBreak);
        const qsizetype stop = end - body.cbegin();
        const QStringView line = trimmed(QStringView(body).sliced(start, stop - start));
        if (!line.isEmpty())
            return line.toString();
        start = stop + 1;
    }
    return std::nullopt;
}

NoteFrontMatter completeHeaderForDisplay(const std::optional<NoteFrontMatter> &frontMatter,
                                         const QString &fileName,
                                         const std::optional<QString> &joplinYAML,
                                         const std::optional<QDateTime> &fileCreated,
                                         const std::optional<QDateTime> &fileModified)
{
    NoteFrontMatter header = titledHeader(frontMatter, fileName);
    if (!hasCreated(header))
        completeDate(header.created, header.createdRaw, yamlValue(joplinYAML, createdKeys()),
                     fileCreated);
    if (!hasUpdated(header))
        completeDate(header.updated, header.updatedRaw, yamlValue(joplinYAML, updatedKeys()),
                     fileModified);
    return header;
}

NoteFrontMatter completeHeaderForSave(const std::optional<NoteFrontMatter> &frontMatter,
                                      const QString &fileName,
                                      const std::optional<QString> &joplinYAML,
                                      const std::optional<QDateTime> &fileCreated,
                                      const QDateTime &now)
{
    NoteFrontMatter header = titledHeader(frontMatter, fileName);
    if (!hasCreated(header))
        completeDate(header.created, header.createdRaw, yamlValue(joplinYAML, createdKeys()),
                     fileCreated.value_or(now));
    setDate(header.updated, header.updatedRaw, now);
    return header;
}

QString unquoteValue(QStringView value)
{
    const QStringView text = trimmed(value);
    if (text.size() < 2)
        return text.toString();
    const QChar first = text.front();
    if ((first != u'"' && first != u'\'') || text.back() != first)
        return text.toString();
    QString inner = text.sliced(1, text.size() - 2).toString();
    inner.replace(QLatin1String("\\\""), QLatin1String("\""));
    inner.replace(QLatin1String("\\\\"), QLatin1String("\\"));
    return inner;
}

QString quoteValue(QStringView value)
{
    QString escaped = value.toString();
    escaped.replace(u'\\', QLatin1String("\\\\"));
    escaped.replace(u'"', QLatin1String("\\\""));
    return u'"' % escaped % u'"';
}

QString buildNoteSaveText(const NoteFrontMatter &completedHeader, const QString &body,
                          const std::optional<QString> &joplinYAML, bool joplinIsTrailing,
                          const NoteLayout &layout)
{
    if (layout.fromText)
        return spliceNoteText(layout, renderHeaderLines(completedHeader), body);
    const QString header = renderFrontMatter(completedHeader);
    if (!joplinYAML || joplinYAML->isEmpty())
        return composeNoteText(header, body, QString());
    if (joplinIsTrailing)
        return composeNoteText(header, body, *joplinYAML);
    return composeNoteText(header % QLatin1String("\n\n") % *joplinYAML, body, QString());
}

namespace {

enum class LineEnd : quint8 { none, lf, crlf, cr };

QLatin1String lineEndText(LineEnd end)
{
    switch (end) {
    case LineEnd::crlf:
        return QLatin1String("\r\n");
    case LineEnd::cr:
        return QLatin1String("\r");
    case LineEnd::lf:
        return QLatin1String("\n");
    case LineEnd::none:
        break;
    }
    return QLatin1String();
}

struct EndedLine
{
    QStringView text;
    LineEnd end;
};

QList<EndedLine> endedLines(QStringView text)
{
    QList<EndedLine> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\n' && c != u'\r')
            continue;
        LineEnd end = LineEnd::lf;
        const qsizetype lineEnd = i;
        if (c == u'\r') {
            end = i + 1 < text.size() && text[i + 1] == u'\n' ? LineEnd::crlf : LineEnd::cr;
            if (end == LineEnd::crlf)
                ++i;
        }
        lines.append({text.sliced(start, lineEnd - start), end});
        start = i + 1;
    }
    lines.append({text.sliced(start), LineEnd::none});
    return lines;
}

} // namespace

QString restoreLineEnds(const QString &text, const QString &original)
{
    const QList<EndedLine> old = endedLines(original);
    std::array<qsizetype, 4> counts{};
    QList<LineEnd> seen; // the kinds of break in the order they first occur
    for (const EndedLine &line : old) {
        if (line.end != LineEnd::none && counts[size_t(line.end)]++ == 0)
            seen.append(line.end);
    }
    LineEnd common = LineEnd::lf;
    qsizetype mostCount = 0;
    for (const LineEnd end : seen) {
        if (counts[size_t(end)] > mostCount) {
            mostCount = counts[size_t(end)];
            common = end;
        }
    }
    // One kind of break throughout (nearly every file): every line ends with it.
    if (mostCount == qsizetype(old.size()) - 1) {
        if (common == LineEnd::lf)
            return text;
        QString converted = text;
        return converted.replace(u'\n', lineEndText(common));
    }

    // Mixed breaks: the lines the texts share keep theirs. The shared lines are the common start
    // and end, and in between each line matched to the next equal line of the original.
    const QList<QStringView> lines = QStringView(text).split(u'\n');
    QList<LineEnd> ends(lines.size(), common);
    const qsizetype oldCount = old.size();
    qsizetype head = 0;
    while (head < lines.size() && head < oldCount && lines[head] == old[head].text) {
        ends[head] = old[head].end;
        ++head;
    }
    qsizetype tail = 0;
    while (tail < lines.size() - head && tail < oldCount - head &&
           lines[lines.size() - 1 - tail] == old[oldCount - 1 - tail].text) {
        ends[lines.size() - 1 - tail] = old[oldCount - 1 - tail].end;
        ++tail;
    }
    QHash<QStringView, QList<qsizetype>> where;
    for (qsizetype j = head; j < oldCount - tail; ++j)
        where[old[j].text].append(j);
    qsizetype next = head;
    for (qsizetype i = head; i < lines.size() - tail; ++i) {
        const auto found = where.constFind(lines[i]);
        if (found == where.cend())
            continue;
        const auto match = std::lower_bound(found->cbegin(), found->cend(), next);
        if (match == found->cend())
            continue;
        ends[i] = old[*match].end;
        next = *match + 1;
    }

    QString restored;
    restored.reserve(text.size() + text.size() / 16);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        restored.append(lines[i]);
        if (i + 1 < lines.size())
            restored.append(lineEndText(ends[i] == LineEnd::none ? common : ends[i]));
    }
    return restored;
}
