#include "links/linkrewrite.h"

#include <QUrl>

namespace LinkRewrite {

QString relativePath(const QString &folder, const QString &path)
{
    const QStringList from = folder.isEmpty() ? QStringList() : folder.split(u'/');
    const QStringList to = path.split(u'/');
    qsizetype common = 0;
    while (common < from.size() && common + 1 < to.size() && from[common] == to[common])
        ++common;
    QStringList parts;
    for (qsizetype i = common; i < from.size(); ++i)
        parts.append(QStringLiteral(".."));
    for (qsizetype i = common; i < to.size(); ++i)
        parts.append(to[i]);
    return parts.join(u'/');
}

namespace {

bool hadExtension(const QString &target)
{
    return target.endsWith(QLatin1String(".md"), Qt::CaseInsensitive) ||
           target.endsWith(QLatin1String(".txt"), Qt::CaseInsensitive);
}

QString wikiName(const NoteLinks::Link &link, const QString &linker, const QString &newPath,
                 const LinkResolver &after)
{
    const bool keepExtension = hadExtension(link.target);
    const QString name = keepExtension ? newPath.sliced(newPath.lastIndexOf(u'/') + 1)
                                       : LinkResolver::baseName(newPath);
    const QString folder = LinkResolver::folderOf(newPath);
    const QString withFolder = folder.isEmpty() ? name : folder + u'/' + name;
    if (link.target.contains(u'/'))
        return withFolder;
    const LinkResolver::Resolution bare = after.resolveName(name, linker);
    if (bare.status == LinkResolver::Resolution::Status::found && bare.paths.first() == newPath)
        return name;
    return withFolder;
}

QString markdownTarget(const NoteLinks::Link &link, const QString &linker, const QString &newPath)
{
    QString path = relativePath(LinkResolver::folderOf(linker), newPath);
    if (link.angleBrackets)
        return path;
    // Characters that would end or break the destination are escaped; spaces as "%20" always,
    // as a bare space would end it.
    QString encoded;
    for (const QChar c : path) {
        if (c == u' ')
            encoded += QStringLiteral("%20");
        else if (c == u'(' || c == u')' || c == u'<' || c == u'>' || c == u'#' || c == u'%')
            encoded += QString::fromLatin1(QUrl::toPercentEncoding(QString(c)));
        else
            encoded += c;
    }
    return encoded;
}

} // namespace

QList<Edit> editsForMove(const QString &text, const QString &linker, const QString &oldPath,
                         const QString &newPath, const LinkResolver &before)
{
    LinkResolver after = before;
    after.removeNote(oldPath);
    after.addNote(newPath);
    // The moved note's own links are read from where it was.
    const QString readFrom = linker == newPath ? oldPath : linker;
    QList<Edit> edits;
    for (const NoteLinks::Link &link : NoteLinks::links(text)) {
        const LinkResolver::Resolution resolution = before.resolve(link, readFrom);
        if (resolution.status != LinkResolver::Resolution::Status::found)
            continue;
        const QString &target = resolution.paths.first();
        const bool toMoved = target == oldPath;
        // The moved note's relative paths to other notes follow its new folder.
        const bool fromMoved = readFrom != linker && link.kind == NoteLinks::Link::Kind::markdown;
        if (!toMoved && !fromMoved)
            continue;
        const QString replacement = link.kind == NoteLinks::Link::Kind::wiki
                                        ? wikiName(link, linker, newPath, after)
                                        : markdownTarget(link, linker, toMoved ? newPath : target);
        const QString current = text.sliced(link.targetStart, link.targetLength);
        // A name written with spaces around it keeps them.
        const qsizetype lead =
            current.size() - current.trimmed().size() > 0 ? current.indexOf(current.trimmed()) : 0;
        const QString trimmed = current.trimmed();
        const QString spelled =
            current.first(lead) + replacement + current.sliced(lead + trimmed.size());
        if (spelled != current)
            edits.append({link.targetStart, link.targetLength, spelled});
    }
    return edits;
}

QString apply(QString text, const QList<Edit> &edits)
{
    for (qsizetype i = edits.size() - 1; i >= 0; --i)
        text.replace(edits[i].start, edits[i].length, edits[i].replacement);
    return text;
}

} // namespace LinkRewrite
