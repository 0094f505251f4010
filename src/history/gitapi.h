#pragma once

#include <git2.h>

// The libgit2 functions the history calls, each once, so that a program can either link
// libgit2 or open it when the history is first used (the command line: see gitapi.cpp).
#define QUILLMERE_HISTORY_GIT_FUNCTIONS(X)                                                         \
    X(git_libgit2_init)                                                                            \
    X(git_error_last)                                                                              \
    X(git_repository_init)                                                                         \
    X(git_repository_open_bare)                                                                    \
    X(git_repository_free)                                                                         \
    X(git_repository_odb)                                                                          \
    X(git_repository_path)                                                                         \
    X(git_repository_refdb)                                                                        \
    X(git_refdb_compress)                                                                          \
    X(git_refdb_free)                                                                              \
    X(git_odb_free)                                                                                \
    X(git_odb_new)                                                                                 \
    X(git_odb_add_backend)                                                                         \
    X(git_odb_backend_one_pack)                                                                    \
    X(git_odb_read)                                                                                \
    X(git_odb_object_free)                                                                         \
    X(git_odb_read_header)                                                                         \
    X(git_odb_refresh)                                                                             \
    X(git_blob_create_from_buffer)                                                                 \
    X(git_blob_lookup)                                                                             \
    X(git_blob_rawcontent)                                                                         \
    X(git_blob_rawsize)                                                                            \
    X(git_blob_free)                                                                               \
    X(git_treebuilder_new)                                                                         \
    X(git_treebuilder_insert)                                                                      \
    X(git_treebuilder_write)                                                                       \
    X(git_treebuilder_free)                                                                        \
    X(git_tree_lookup)                                                                             \
    X(git_tree_entrycount)                                                                         \
    X(git_tree_entry_byindex)                                                                      \
    X(git_tree_entry_id)                                                                           \
    X(git_tree_free)                                                                               \
    X(git_signature_new)                                                                           \
    X(git_signature_free)                                                                          \
    X(git_commit_create)                                                                           \
    X(git_commit_lookup)                                                                           \
    X(git_commit_free)                                                                             \
    X(git_commit_message)                                                                          \
    X(git_commit_time)                                                                             \
    X(git_commit_time_offset)                                                                      \
    X(git_commit_tree_id)                                                                          \
    X(git_commit_parentcount)                                                                      \
    X(git_commit_parent_id)                                                                        \
    X(git_reference_lookup)                                                                        \
    X(git_reference_resolve)                                                                       \
    X(git_reference_target)                                                                        \
    X(git_reference_free)                                                                          \
    X(git_reference_create_matching)                                                               \
    X(git_reference_remove)                                                                        \
    X(git_reference_foreach_name)                                                                  \
    X(git_oid_fromstr)                                                                             \
    X(git_oid_tostr_s)                                                                             \
    X(git_oid_cmp)                                                                                 \
    X(git_packbuilder_new)                                                                         \
    X(git_packbuilder_set_threads)                                                                 \
    X(git_packbuilder_insert)                                                                      \
    X(git_packbuilder_insert_commit)                                                               \
    X(git_packbuilder_write)                                                                       \
    X(git_packbuilder_name)                                                                        \
    X(git_packbuilder_object_count)                                                                \
    X(git_packbuilder_free)

/// The libgit2 functions, or nothing when libgit2 could not be opened.
struct GitApi
{
#define QUILLMERE_GIT_MEMBER(name) decltype(&::name) name = nullptr;
    QUILLMERE_HISTORY_GIT_FUNCTIONS(QUILLMERE_GIT_MEMBER)
#undef QUILLMERE_GIT_MEMBER
    bool loaded = false;
};

namespace HistoryGit {

/// libgit2, initialised once for the process. `loaded` is false when it could not be opened.
const GitApi &api();

/// The text of libgit2's last error on this thread, or `fallback`.
const char *lastError(const char *fallback = "");

} // namespace HistoryGit
