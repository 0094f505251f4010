#pragma once

#include <QList>
#include <QString>

/// One run of a difference between two texts.
struct DiffRun
{
    enum class Kind { same, added, removed };
    Kind kind = Kind::same;
    QString text;

    bool operator==(const DiffRun &) const = default;
};

/// What differs between two versions of a note, as a reader compares them: lines first, then
/// within changed lines word by word for Latin text and character by character for Japanese
/// (and other text written without spaces), so that one changed kana is one changed kana.
namespace TextDiff {

/// The runs that turn `before` into `after`: same and removed runs spell `before`, same and
/// added runs spell `after`. Neighbouring runs of one kind are joined.
QList<DiffRun> compare(const QString &before, const QString &after);

/// The pieces `text` is compared in: words, the spaces and punctuation between them, and single
/// characters of Han, kana and Hangul text.
QStringList tokens(QStringView text);

} // namespace TextDiff
