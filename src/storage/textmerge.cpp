#include "storage/textmerge.h"

#include <QByteArray>
#include <QStringDecoder>

#include <git2.h>

namespace TextMerge {
namespace {

void initLibrary()
{
    // A function-local static is initialised once, even when two threads merge at once. The
    // library is never shut down: it lives as long as the process.
    static const int initialised = git_libgit2_init();
    static_cast<void>(initialised);
}

git_merge_file_input input(const QByteArray &bytes)
{
    git_merge_file_input result = GIT_MERGE_FILE_INPUT_INIT;
    result.ptr = bytes.constData();
    result.size = size_t(bytes.size());
    return result;
}

/// Decodes merged UTF-8 exactly: a leading U+FEFF that a side held is text and stays.
QString decodeExactly(const char *data, size_t size)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom |
                                                     QStringDecoder::Flag::Stateless);
    return decoder.decode(QByteArrayView(data, qsizetype(size)));
}

} // namespace

TextMergeResult merge(const QString &base, const QString &ours, const QString &theirs)
{
    initLibrary();
    const QByteArray baseBytes = base.toUtf8();
    const QByteArray ourBytes = ours.toUtf8();
    const QByteArray theirBytes = theirs.toUtf8();
    const git_merge_file_input baseInput = input(baseBytes);
    const git_merge_file_input ourInput = input(ourBytes);
    const git_merge_file_input theirInput = input(theirBytes);

    git_merge_file_options options = GIT_MERGE_FILE_OPTIONS_INIT;
    options.ancestor_label = "base";
    options.our_label = "ours";
    options.their_label = "theirs";

    git_merge_file_result merged{};
    TextMergeResult result;
    if (git_merge_file(&merged, &baseInput, &ourInput, &theirInput, &options) != 0)
        return result;
    result.clean = merged.automergeable != 0;
    result.text = decodeExactly(merged.ptr, merged.len);
    git_merge_file_result_free(&merged);
    return result;
}

} // namespace TextMerge
