#include "storage/textmerge.h"

#include "platform/diagnostics.h"

#include <QByteArray>
#include <QStringDecoder>

#include <git2.h>

#ifdef QUILLMERE_LIBGIT2_ON_DEMAND
#include <dlfcn.h>
#endif

namespace TextMerge {
namespace {

/// The few libgit2 functions a merge calls.
struct Library
{
    decltype(&git_merge_file) mergeFile = nullptr;
    decltype(&git_merge_file_result_free) freeResult = nullptr;
    decltype(&git_error_last) lastError = nullptr;

    bool isLoaded() const { return mergeFile && freeResult && lastError; }
};

void logUnavailable(const QString &detail)
{
    Diagnostics::log(QStringLiteral("マージ用のライブラリを使えません: ") + detail);
}

#ifdef QUILLMERE_LIBGIT2_ON_DEMAND

// The command line opens libgit2 on its first merge instead of linking it: with the TLS, SSH
// and Kerberos libraries it brings along, loading it would double the start-up time of every
// command, and a command merges only when another writer ignored the folder lock.
Library openLibrary()
{
    // Never closed: the library lives as long as the process, as it would linked.
    void *handle = dlopen(QUILLMERE_LIBGIT2_SONAME, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        logUnavailable(QString::fromUtf8(dlerror()));
        return {};
    }
    // Only the functions' types are taken from the header (decltype does not refer to them), so
    // this links in every build type without libgit2.
    const auto symbol = [handle]<typename Pointer>(Pointer &target, const char *name) {
        target = reinterpret_cast<Pointer>(dlsym(handle, name));
    };
    decltype(&git_libgit2_init) init = nullptr;
    symbol(init, "git_libgit2_init");
    Library library;
    symbol(library.mergeFile, "git_merge_file");
    symbol(library.freeResult, "git_merge_file_result_free");
    symbol(library.lastError, "git_error_last");
    if (!init || init() < 0 || !library.isLoaded()) {
        logUnavailable(QStringLiteral(QUILLMERE_LIBGIT2_SONAME));
        return {};
    }
    return library;
}

#else

Library openLibrary()
{
    if (git_libgit2_init() < 0) {
        const git_error *error = git_error_last();
        logUnavailable(error ? QString::fromUtf8(error->message) : QStringLiteral("init"));
        return {};
    }
    return {&git_merge_file, &git_merge_file_result_free, &git_error_last};
}

#endif

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
        return result; // failed: nothing is combined, nobody's text is lost
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
    if (git.mergeFile(&merged, &baseInput, &ourInput, &theirInput, &options) != 0) {
        const git_error *error = git.lastError();
        Diagnostics::log(QStringLiteral("マージできませんでした: ") +
                         (error ? QString::fromUtf8(error->message) : QString()));
        return result;
    }
    result.status = merged.automergeable != 0 ? TextMergeResult::Status::Clean
                                              : TextMergeResult::Status::Conflicted;
    result.text = decodeExactly(merged.ptr, merged.len);
    git.freeResult(&merged);
    return result;
}

} // namespace TextMerge
