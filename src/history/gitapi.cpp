#include "history/gitapi.h"

#include "platform/diagnostics.h"

#include <QString>

#ifdef QUILLMERE_LIBGIT2_ON_DEMAND
#include <dlfcn.h>
#endif

namespace HistoryGit {
namespace {

#ifdef QUILLMERE_LIBGIT2_ON_DEMAND

// The command line opens libgit2 only when a command records or reads the history: loaded at
// every start, with the libraries it brings along, it would double the start-up time of the
// commands that never touch it (search, open, holidays).
GitApi open()
{
    GitApi api;
    // Never closed: the library lives as long as the process, as it would linked.
    void *handle = dlopen(QUILLMERE_LIBGIT2_SONAME, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        Diagnostics::log(QStringLiteral("履歴用のライブラリを使えません: ") +
                         QString::fromUtf8(dlerror()));
        return api;
    }
    bool complete = true;
#define QUILLMERE_GIT_SYMBOL(name)                                                                 \
    api.name = reinterpret_cast<decltype(api.name)>(dlsym(handle, #name));                         \
    complete = complete && api.name != nullptr;
    QUILLMERE_HISTORY_GIT_FUNCTIONS(QUILLMERE_GIT_SYMBOL)
#undef QUILLMERE_GIT_SYMBOL
    api.loaded = complete && api.git_libgit2_init() >= 0;
    if (!api.loaded)
        Diagnostics::log(
            QStringLiteral("履歴用のライブラリを使えません: " QUILLMERE_LIBGIT2_SONAME));
    return api;
}

#else

GitApi open()
{
    GitApi api;
#define QUILLMERE_GIT_SYMBOL(name) api.name = &::name;
    QUILLMERE_HISTORY_GIT_FUNCTIONS(QUILLMERE_GIT_SYMBOL)
#undef QUILLMERE_GIT_SYMBOL
    api.loaded = git_libgit2_init() >= 0;
    return api;
}

#endif

} // namespace

const GitApi &api()
{
    static const GitApi loaded = open();
    return loaded;
}

const char *lastError(const char *fallback)
{
    if (!api().loaded)
        return fallback;
    const git_error *error = api().git_error_last();
    return error && error->message ? error->message : fallback;
}

} // namespace HistoryGit
