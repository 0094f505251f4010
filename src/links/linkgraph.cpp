#include "links/linkgraph.h"

#include "links/linktables.h"
#include "search/globalsearch.h"
#include "search/notebody.h"
#include "storage/textfile.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

LinkGraph::LinkGraph(const QString &baseFolder, const QString &indexPath)
    : m_base(baseFolder), m_search(std::make_unique<IndexedSearch>(baseFolder, indexPath))
{
}

LinkGraph::~LinkGraph() = default;

bool LinkGraph::refresh(QString *problem)
{
    if (!m_search->refresh(problem))
        return false;
    const auto entries = m_search->index().entries();
    if (!entries) {
        if (problem)
            *problem = m_search->index().lastError();
        return false;
    }
    QStringList paths;
    paths.reserve(entries->size());
    for (auto it = entries->cbegin(); it != entries->cend(); ++it)
        paths.append(QFile::decodeName(it.key()));
    m_resolver = LinkResolver(paths);
    return true;
}

namespace {

/// The body of the note at `file`, as the index read it.
QString bodyOf(const QString &file)
{
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return {};
    NoteBody::Scratch scratch;
    return GlobalSearch::searchedBody(in.readAll(), scratch);
}

qint64 modifiedOf(const QString &file)
{
    return QFileInfo(file).lastModified().toMSecsSinceEpoch();
}

void newestFirst(QList<LinkGraph::Mention> &rows)
{
    std::stable_sort(rows.begin(), rows.end(), [](const auto &a, const auto &b) {
        if (a.modified != b.modified)
            return a.modified > b.modified;
        if (a.path != b.path)
            return a.path < b.path;
        return a.line < b.line;
    });
}

} // namespace

std::optional<QList<LinkGraph::Mention>> LinkGraph::backlinks(const QString &notePath,
                                                              QString *problem)
{
    const auto rows =
        LinkTables::linksByKey(m_search->index().handle(), LinkResolver::nameKey(notePath));
    if (!rows) {
        if (problem)
            *problem = QStringLiteral("索引を読めません");
        return std::nullopt;
    }
    QList<Mention> found;
    QHash<QString, QStringList> bodies;
    for (const LinkTables::LinkRow &row : *rows) {
        const QString linker = QFile::decodeName(row.notePath);
        NoteLinks::Link link;
        link.kind = row.markdown ? NoteLinks::Link::Kind::markdown : NoteLinks::Link::Kind::wiki;
        link.target = row.target;
        const LinkResolver::Resolution resolution = m_resolver.resolve(link, linker);
        if (resolution.status != LinkResolver::Resolution::Status::found ||
            resolution.paths.first() != notePath)
            continue;
        const QString file = m_base + u'/' + linker;
        auto lines = bodies.find(linker);
        if (lines == bodies.end())
            lines = bodies.insert(linker, bodyOf(file).split(u'\n'));
        const QString text = row.line >= 0
                                 ? lines->value(row.line).trimmed()
                                 : QStringLiteral("[[") + row.target + QStringLiteral("]]");
        found.append({linker, row.line, text, modifiedOf(file)});
    }
    newestFirst(found);
    return found;
}

std::optional<QList<LinkGraph::Mention>> LinkGraph::unlinkedMentions(const QString &notePath,
                                                                     QString *problem)
{
    const QString name = LinkResolver::baseName(notePath);
    const auto linkers = backlinks(notePath, problem);
    if (!linkers)
        return std::nullopt;
    QSet<QString> skipped{notePath};
    for (const Mention &mention : *linkers)
        skipped.insert(mention.path);
    GlobalSearch::SearchOptions options;
    options.threadCount = 1;
    const auto hits = m_search->search(name, problem, options);
    if (!hits)
        return std::nullopt;
    QList<Mention> found;
    for (const SearchHit &hit : *hits) {
        const QString path = QFileInfo(hit.filePath).isAbsolute()
                                 ? hit.filePath.sliced(m_base.size() + 1)
                                 : hit.filePath;
        if (skipped.contains(path))
            continue;
        const QStringList lines = bodyOf(m_base + u'/' + path).split(u'\n');
        // Every line that names it, as found by the same matching as the search.
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (lines[i].contains(name, Qt::CaseInsensitive))
                found.append({path, int(i), lines[i].trimmed(), modifiedOf(m_base + u'/' + path)});
        }
    }
    newestFirst(found);
    return found;
}

std::optional<QStringList> LinkGraph::linkerCandidates(const QString &notePath, QString *problem)
{
    const auto rows =
        LinkTables::linksByKey(m_search->index().handle(), LinkResolver::nameKey(notePath));
    if (!rows) {
        if (problem)
            *problem = QStringLiteral("索引を読めません");
        return std::nullopt;
    }
    QStringList paths;
    for (const LinkTables::LinkRow &row : *rows)
        paths.append(QFile::decodeName(row.notePath));
    paths.removeDuplicates();
    return paths;
}
