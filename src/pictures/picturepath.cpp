#include "pictures/picturepath.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

namespace PictureProblems {

QString text(PictureProblem problem)
{
    switch (problem) {
    case PictureProblem::none:
        return {};
    case PictureProblem::missing:
        return QStringLiteral("画像が見つかりません");
    case PictureProblem::undecodable:
        return QStringLiteral("画像を読み込めません");
    case PictureProblem::outside:
        return QStringLiteral("ベースフォルダの外にある画像は表示しません");
    case PictureProblem::tooLarge:
        return QStringLiteral("画像が大きすぎます");
    case PictureProblem::remote:
        return QStringLiteral("外部の画像は読み込みません");
    }
    return {};
}

} // namespace PictureProblems

namespace PicturePath {
namespace {

PictureTarget refused(PictureProblem problem, QString name)
{
    PictureTarget target;
    target.problem = problem;
    target.displayName = std::move(name);
    return target;
}

bool isInside(const QString &path, const QString &folder)
{
    return !folder.isEmpty() && path.startsWith(folder) && path.size() > folder.size() &&
           (folder.endsWith(u'/') || path[folder.size()] == u'/');
}

/// data:[<type>][;base64],<data>: only pictures, only base64 (what programs paste).
PictureTarget dataTarget(const QString &url)
{
    const QString name = QStringLiteral("data:");
    const qsizetype comma = url.indexOf(u',');
    if (comma < 0)
        return refused(PictureProblem::undecodable, name);
    const QString header = url.mid(5, comma - 5).toLower();
    if (!header.startsWith(u"image/") || !header.endsWith(u";base64"))
        return refused(PictureProblem::undecodable, name);
    const qsizetype encodedLength = url.size() - comma - 1;
    if (encodedLength / 4 * 3 > PictureLimits::maxDataBytes)
        return refused(PictureProblem::tooLarge, name);
    auto decoded = QByteArray::fromBase64Encoding(QStringView(url).mid(comma + 1).toLatin1(),
                                                  QByteArray::AbortOnBase64DecodingErrors |
                                                      QByteArray::Base64Encoding);
    if (!decoded || decoded.decoded.isEmpty())
        return refused(PictureProblem::undecodable, name);
    PictureTarget target;
    target.kind = PictureTarget::Kind::data;
    target.bytes = std::move(decoded.decoded);
    // What the decoded picture is kept by, worked out once.
    target.path =
        name + QString::fromLatin1(
                   QCryptographicHash::hash(target.bytes, QCryptographicHash::Sha1).toHex());
    target.displayName = name;
    return target;
}

/// The canonical path of a regular file at `path`, or an empty string.
QString canonicalFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile())
        return {};
    return info.canonicalFilePath();
}

} // namespace

PictureTarget resolve(const QString &destination, const QString &noteFolder,
                      const QString &baseFolder)
{
    const QString trimmed = destination.trimmed();
    static const QRegularExpression scheme(QStringLiteral("^([A-Za-z][A-Za-z0-9+.-]+):"));
    QString spelled = trimmed;
    if (const auto match = scheme.match(trimmed); match.hasMatch()) {
        const QString name = match.captured(1).toLower();
        if (name == u"data")
            return dataTarget(trimmed);
        if (name != u"file")
            return refused(PictureProblem::remote, trimmed);
        const QUrl url(trimmed);
        if (!url.isLocalFile() || !url.host().isEmpty())
            return refused(PictureProblem::remote, trimmed);
        spelled = url.toLocalFile();
    }
    if (spelled.isEmpty())
        return refused(PictureProblem::missing, spelled);
    const QString decoded = trimmed == spelled ? QUrl::fromPercentEncoding(spelled.toUtf8())
                                               : spelled; // a file: URL is decoded already
    const QString displayName = QFileInfo(decoded).fileName();
    auto lexical = [&noteFolder](const QString &path) {
        return QDir::cleanPath(QDir::isAbsolutePath(path) ? path : noteFolder + u'/' + path);
    };
    const QString canonicalBase = QFileInfo(baseFolder).canonicalFilePath();
    QString path = lexical(decoded);
    QString canonical = canonicalFile(path);
    if (canonical.isEmpty() && decoded != spelled) {
        // A name that really holds "%xx".
        if (const QString literal = canonicalFile(lexical(spelled)); !literal.isEmpty()) {
            path = lexical(spelled);
            canonical = literal;
        }
    }
    if (canonical.isEmpty()) {
        // Nothing there (or not a file): saying so would tell what lies outside the base folder.
        const QString cleanBase = QDir::cleanPath(baseFolder);
        return refused(isInside(path, cleanBase) || isInside(path, canonicalBase)
                           ? PictureProblem::missing
                           : PictureProblem::outside,
                       displayName);
    }
    if (!isInside(canonical, canonicalBase))
        return refused(PictureProblem::outside, displayName);
    PictureTarget target;
    target.kind = PictureTarget::Kind::file;
    target.path = canonical;
    target.displayName = displayName;
    return target;
}

QString relativePath(const QString &folder, const QString &file)
{
    return QDir(folder).relativeFilePath(file);
}

} // namespace PicturePath
