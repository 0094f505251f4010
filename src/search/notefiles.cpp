#include "search/notefiles.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace NoteFiles {
namespace {

struct Entry
{
    std::string name;
    unsigned char type;
};

bool hasNoteExtension(const std::string &name)
{
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return false;
    const std::string_view extension = std::string_view(name).substr(dot + 1);
    const auto equalsIgnoringCase = [&](std::string_view expected) {
        return extension.size() == expected.size() &&
               std::equal(extension.begin(), extension.end(), expected.begin(),
                          [](char a, char b) { return (a | 0x20) == b; });
    };
    return equalsIgnoringCase("md") || equalsIgnoringCase("txt");
}

std::vector<Entry> readEntries(const QByteArray &folder)
{
    std::vector<Entry> entries;
    DIR *dir = opendir(folder.constData());
    if (!dir)
        return entries;
    while (const dirent *entry = readdir(dir)) {
        const char *name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        entries.push_back({name, entry->d_type});
    }
    closedir(dir);
    std::sort(entries.begin(), entries.end(),
              [](const Entry &a, const Entry &b) { return a.name < b.name; });
    return entries;
}

class Walker
{
public:
    Walker(const ListOptions &options, NoteFileList &list) : m_options(options), m_list(list) {}

    void walk(const QByteArray &nativePath, const QString &path, const QString &relativePath)
    {
        const qsizetype folderIndex = m_list.folders.size();
        m_list.folders.append({path, relativePath, nativePath});
        for (const Entry &entry : readEntries(nativePath)) {
            if (entry.name.front() == '.' && m_options.hidden == HiddenItems::Skip)
                continue;
            const bool isNote = hasNoteExtension(entry.name);
            unsigned char type = entry.type;
            if (type != DT_DIR && !isNote)
                continue;
            const QByteArray childPath = nativePath + '/' + entry.name.c_str();
            // Files are opened by folder and name later; only folders and links need the path now.
            struct stat info = {};
            bool haveInfo = false;
            if (type == DT_UNKNOWN) {
                if (lstat(childPath.constData(), &info) != 0)
                    continue;
                type = S_ISDIR(info.st_mode) ? DT_DIR : S_ISLNK(info.st_mode) ? DT_LNK : DT_REG;
                haveInfo = S_ISREG(info.st_mode);
                if (!S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode) && !S_ISLNK(info.st_mode))
                    continue;
            }
            const QByteArray nativeName = QByteArray::fromStdString(entry.name);
            const QString name = QFile::decodeName(nativeName);
            if (type == DT_DIR) {
                const QString childRelative =
                    relativePath.isEmpty() ? name : QString(relativePath + u'/' + name);
                walk(childPath, path + u'/' + name, childRelative);
                continue;
            }
            if (!isNote || (type != DT_REG && type != DT_LNK))
                continue;
            // A link counts when it leads to a regular file; pipes and devices never do, so
            // reading a note can never block.
            if (type == DT_LNK || (m_options.withModificationTimes && !haveInfo)) {
                if (stat(childPath.constData(), &info) != 0 || !S_ISREG(info.st_mode))
                    continue;
                haveInfo = true;
            }
            File file{folderIndex, name, nativeName, std::nullopt};
            if (m_options.withModificationTimes && haveInfo)
                file.modifiedMSecs =
                    qint64(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1000000;
            m_list.files.append(std::move(file));
        }
    }

private:
    const ListOptions &m_options;
    NoteFileList &m_list;
};

} // namespace

NoteFileList listNoteFiles(const QString &baseFolder, const ListOptions &options)
{
    NoteFileList list;
    if (baseFolder.isEmpty())
        return list;
    QString base = baseFolder;
    while (base.size() > 1 && base.endsWith(u'/'))
        base.chop(1);
    Walker(options, list).walk(QFile::encodeName(base), base, QString());
    return list;
}

bool hasNoteExtension(QStringView fileName)
{
    const qsizetype dot = fileName.lastIndexOf(u'.');
    if (dot <= 0)
        return false;
    const QStringView extension = fileName.sliced(dot + 1);
    return extension.compare(u"md", Qt::CaseInsensitive) == 0 ||
           extension.compare(u"txt", Qt::CaseInsensitive) == 0;
}

QStringView nameWithoutExtension(QStringView fileName)
{
    const qsizetype dot = fileName.lastIndexOf(u'.');
    return dot <= 0 ? fileName : fileName.first(dot);
}

} // namespace NoteFiles
