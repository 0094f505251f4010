#include "links/linkresolver.h"

#include <QDate>
#include <QDir>

#include <algorithm>

namespace {

QString withoutExtension(const QString &name)
{
    for (const QLatin1String extension : {QLatin1String(".md"), QLatin1String(".txt")}) {
        if (name.size() > extension.size() && name.endsWith(extension, Qt::CaseInsensitive))
            return name.chopped(extension.size());
    }
    return name;
}

const QString dailyFolder = QStringLiteral("Daily");

} // namespace

LinkResolver::LinkResolver(const QStringList &notePaths)
{
    m_paths.reserve(notePaths.size());
    for (const QString &path : notePaths)
        addNote(path);
}

QString LinkResolver::baseName(const QString &notePath)
{
    return withoutExtension(notePath.sliced(notePath.lastIndexOf(u'/') + 1));
}

QString LinkResolver::folderOf(const QString &notePath)
{
    const qsizetype slash = notePath.lastIndexOf(u'/');
    return slash < 0 ? QString() : notePath.first(slash);
}

QString LinkResolver::nameKey(const QString &notePath)
{
    return NoteLinks::fold(baseName(notePath));
}

QString LinkResolver::linkKey(const NoteLinks::Link &link)
{
    return nameKey(link.target);
}

void LinkResolver::addNote(const QString &path)
{
    m_paths.append(path);
    m_byName[nameKey(path)].append(path);
    m_byPath[NoteLinks::fold(path)].append(path);
}

void LinkResolver::removeNote(const QString &path)
{
    m_paths.removeOne(path);
    const auto drop = [&](QHash<QString, QStringList> &map, const QString &key) {
        auto it = map.find(key);
        if (it == map.end())
            return;
        it->removeOne(path);
        if (it->isEmpty())
            map.erase(it);
    };
    drop(m_byName, nameKey(path));
    drop(m_byPath, NoteLinks::fold(path));
}

LinkResolver::Resolution LinkResolver::resolve(const NoteLinks::Link &link,
                                               const QString &fromNote) const
{
    if (link.kind == NoteLinks::Link::Kind::wiki)
        return resolveName(link.target, fromNote);
    Resolution resolution;
    const QString folder = folderOf(fromNote);
    const QString joined =
        QDir::cleanPath(folder.isEmpty() ? link.target : folder + u'/' + link.target);
    if (joined.startsWith(QLatin1String("../")) || joined == u".." || joined.startsWith(u'/'))
        return resolution;
    if (m_paths.contains(joined)) {
        resolution.status = Resolution::Status::found;
        resolution.paths = {joined};
        return resolution;
    }
    const QStringList fits = m_byPath.value(NoteLinks::fold(joined));
    if (fits.size() == 1) {
        resolution.status = Resolution::Status::found;
        resolution.paths = fits;
    } else if (fits.size() > 1) {
        resolution.status = Resolution::Status::ambiguous;
        resolution.paths = fits;
        resolution.paths.sort();
    } else {
        resolution.createPath = joined;
    }
    return resolution;
}

LinkResolver::Resolution LinkResolver::resolveName(const QString &rawName,
                                                   const QString &fromNote) const
{
    Resolution resolution;
    const QString name = withoutExtension(rawName.trimmed());
    const qsizetype slash = name.lastIndexOf(u'/');
    const QString folderPart = slash < 0 ? QString() : NoteLinks::fold(name.first(slash));
    const QString ownName = name.sliced(slash + 1);
    if (ownName.isEmpty())
        return resolution;
    const QDate day = QDate::fromString(ownName, QStringLiteral("yyyy-MM-dd"));
    QStringList fits;
    for (const QString &path : m_byName.value(NoteLinks::fold(ownName))) {
        if (!folderPart.isEmpty()) {
            const QString folder = NoteLinks::fold(folderOf(path));
            if (folder != folderPart && !folder.endsWith(u'/' + folderPart))
                continue;
        }
        fits.append(path);
    }
    if (fits.isEmpty()) {
        if (day.isValid() && folderPart.isEmpty())
            resolution.createPath = dailyFolder + u'/' + ownName + QStringLiteral(".txt");
        else if (!ownName.contains(u'\\') && ownName != u"." && ownName != u"..") {
            const QString folder = slash < 0 ? folderOf(fromNote) : name.first(slash);
            if (!folder.split(u'/').contains(QStringLiteral("..")))
                resolution.createPath = (folder.isEmpty() ? QString() : folder + u'/') + ownName +
                                        QStringLiteral(".md");
        }
        return resolution;
    }
    // The better fits: the day's memo for a date, then the exact spelling, then the linking
    // note's own folder.
    const QString fromFolder = folderOf(fromNote);
    const auto score = [&](const QString &path) {
        int value = 0;
        if (day.isValid() && folderOf(path) == dailyFolder)
            value += 4;
        if (baseName(path) == ownName)
            value += 2;
        if (folderOf(path) == fromFolder)
            value += 1;
        return value;
    };
    int best = -1;
    for (const QString &path : fits)
        best = std::max(best, score(path));
    QStringList top;
    for (const QString &path : fits) {
        if (score(path) == best)
            top.append(path);
    }
    top.sort();
    resolution.paths = top;
    resolution.status = top.size() == 1 ? Resolution::Status::found : Resolution::Status::ambiguous;
    return resolution;
}
