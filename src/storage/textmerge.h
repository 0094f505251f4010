#pragma once

#include <QString>

/// The result of a line-based three-way merge.
struct TextMergeResult
{
    /// True when the changes of both sides could be combined without overlapping.
    bool clean = false;
    /// The merged text; with conflicts it holds conflict markers and must not be written over
    /// anyone's file.
    QString text;
};

namespace TextMerge {

/// Merges the changes that `ours` and `theirs` each made to `base`, line by line (libgit2's
/// git_merge_file). Identical changes on both sides are taken once.
TextMergeResult merge(const QString &base, const QString &ours, const QString &theirs);

} // namespace TextMerge
