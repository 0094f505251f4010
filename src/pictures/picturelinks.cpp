#include "pictures/picturelinks.h"

#include "pictures/picturepath.h"
#include "pictures/picturereference.h"
#include "storage/noteassets.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

namespace PictureLinks {
namespace {

bool isFenceLine(QStringView line)
{
    const QStringView trimmed = line.trimmed();
    return trimmed.startsWith(u"```") || trimmed.startsWith(u"~~~");
}

bool isLocalRelative(const QString &destination)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    return !destination.isEmpty() && !destination.startsWith(u'/') &&
           !scheme.match(destination).hasMatch();
}

/// The destination for `relative`, spelled the way the old one was: percent-encoded, in angle
/// brackets, or bare (in angle brackets after all when a space or bracket would break it).
QString spelled(const QString &relative, QStringView old)
{
    if (old.contains(u'%') && !old.startsWith(u'<'))
        return QString::fromUtf8(QUrl::toPercentEncoding(relative, "/"));
    static const QRegularExpression unsafe(QStringLiteral(R"([\s()<>\\%])"));
    if (old.startsWith(u'<') || unsafe.match(relative).hasMatch())
        return PictureReferences::destinationText(relative);
    return relative;
}

} // namespace

QList<PictureLinkEdit> editsForMove(const QString &text, const QString &oldNotePath,
                                    const QString &newNotePath)
{
    const QString oldFolder = QFileInfo(oldNotePath).absolutePath();
    const QString newFolder = QFileInfo(newNotePath).absolutePath();
    const QString oldAssets = QDir::cleanPath(NoteAssets::folderOf(oldNotePath));
    const QString newAssets = QDir::cleanPath(NoteAssets::folderOf(newNotePath));
    QList<PictureLinkEdit> edits;
    bool inFence = false;
    qsizetype lineStart = 0;
    while (lineStart <= text.size()) {
        qsizetype lineEnd = text.indexOf(u'\n', lineStart);
        if (lineEnd < 0)
            lineEnd = text.size();
        const QStringView line = QStringView(text).mid(lineStart, lineEnd - lineStart);
        if (isFenceLine(line)) {
            inFence = !inFence;
        } else if (!inFence && line.contains(u"![")) {
            for (const PictureReference &picture : PictureReferences::find(line)) {
                if (!isLocalRelative(picture.destination))
                    continue;
                const QString decoded = QUrl::fromPercentEncoding(picture.destination.toUtf8());
                QString target = QDir::cleanPath(oldFolder + u'/' + decoded);
                if (target.startsWith(oldAssets + u'/'))
                    target = newAssets + target.mid(oldAssets.size());
                else if (oldFolder == newFolder)
                    continue;
                const QString relative = PicturePath::relativePath(newFolder, target);
                const QStringView old =
                    line.mid(picture.destinationStart, picture.destinationLength);
                const QString replacement = spelled(relative, old);
                if (replacement != old)
                    edits.append({lineStart + picture.destinationStart, old.size(), replacement});
            }
        }
        lineStart = lineEnd + 1;
    }
    return edits;
}

QString apply(QString text, const QList<PictureLinkEdit> &edits)
{
    for (auto it = edits.crbegin(); it != edits.crend(); ++it)
        text.replace(it->start, it->length, it->text);
    return text;
}

} // namespace PictureLinks
