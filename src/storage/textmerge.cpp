#include "storage/textmerge.h"

#include "platform/diagnostics.h"

#include <QByteArray>
#include <QStringDecoder>

#include <dlfcn.h>
#include <git2.h>

namespace TextMerge {
namespace {

/// The few libgit2 functions a merge calls, from the library opened on first use.
struct Library
{
    decltype(&git_merge_file) mergeFile = nullptr;
    decltype(&git_merge_file_result_free) freeResult = nullptr;

    bool isLoaded() const { return mergeFile && freeResult; }
};

Library openLibrary()
{
    // Never closed: the library lives as long as the process, as it would linked.
    void *handle = dlopen(QUILLMERE_LIBGIT2_SONAME, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        Diagnostics::log(QStringLiteral("マージ用のライブラリを読み込めません: ") +
                         QString::fromUtf8(dlerror()));
        return {};
    }
    const auto symbol = [handle]<typename Function>(Function *, const char *name) {
        return reinterpret_cast<Function *>(dlsym(handle, name));
    };
    const auto init = symbol(&git_libgit2_init, "git_libgit2_init");
    Library library;
    library.mergeFile = symbol(&git_merge_file, "git_merge_file");
    library.freeResult = symbol(&git_merge_file_result_free, "git_merge_file_result_free");
    if (!init || init() < 0 || !library.isLoaded()) {
        Diagnostics::log(QStringLiteral("マージ用のライブラリを読み込めません: ") +
                         QStringLiteral(QUILLMERE_LIBGIT2_SONAME));
        return {};
    }
    return library;
}

const Library &library()
{
    // A function-local static is initialised once, even when two threads merge at once.
    static const Library loaded = openLibrary();
    return loaded;
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
    const Library &git = library();
    TextMergeResult result;
    if (!git.isLoaded())
        return result; // as a failed merge: nothing is combined, nobody's text is lost
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
    if (git.mergeFile(&merged, &baseInput, &ourInput, &theirInput, &options) != 0)
        return result;
    result.clean = merged.automergeable != 0;
    result.text = decodeExactly(merged.ptr, merged.len);
    git.freeResult(&merged);
    return result;
}

} // namespace TextMerge
