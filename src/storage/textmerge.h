#pragma once

#include <QString>

/// The result of a line-based three-way merge.
struct TextMergeResult
{
    enum class Status {
        Clean,      ///< the changes of both sides were combined without overlapping
        Conflicted, ///< both sides changed the same lines
        Failed,     ///< the merge could not run (its library is missing, or it failed): nothing
                    ///< is known about the two sides' changes
    };
    Status status = Status::Failed;
    /// The merged text; only a clean merge's text may be written over anyone's file.
    QString text;

    bool clean() const { return status == Status::Clean; }
};

namespace TextMerge {

/// Merges the changes that `ours` and `theirs` each made to `base`, line by line (libgit2's
/// git_merge_file). Identical changes on both sides are taken once.
TextMergeResult merge(const QString &base, const QString &ours, const QString &theirs);

} // namespace TextMerge
