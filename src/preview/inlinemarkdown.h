#pragma once

#include <QList>
#include <QString>
#include <QUrl>

/// A formatted stretch of rendered text. Positions are UTF-16 offsets into InlineText::text.
struct InlineRun
{
    qsizetype start = 0;
    qsizetype length = 0;
    bool bold = false;
    bool italic = false;
    bool strikeOut = false;
    bool emphasis = false; ///< drawn in the emphasis colour
    QString link;          ///< target of a clickable link; empty for none
    bool operator==(const InlineRun &) const = default;
};

/// One piece of markdown (a paragraph line, a list item's text, a table cell) rendered to plain
/// text plus formatting: block markers consumed, links, emphasis and code spans interpreted.
struct InlineText
{
    QString text;
    QList<InlineRun> runs; ///< only the stretches that differ from plain text, in order

    /// The link under a text position, or an empty string.
    QString linkAt(qsizetype position) const;
};

namespace InlineMarkdown {

/// Renders a piece of markdown. A piece that starts with four spaces or a tab is taken
/// literally, so an indented code line keeps its asterisks. E-mail addresses and mailto links
/// never become links. Emphasis is marked on emphasised and strong runs; when the parser found
/// none, runs of "***x***", "**x**" and "*x*" in the source are marked instead, so emphasis the
/// parser refused (for example "** x **") is still coloured.
InlineText render(const QString &markdown);

/// Like render(), but remembers recent results: the preview renders the same lines again after
/// every edit. Main thread only.
InlineText cachedRender(const QString &markdown);

/// True for "name@host.tld" and for mailto URLs: such links are never clickable.
bool isEmailLink(const QString &urlOrText);

/// Whether a clicked link may be handed to the desktop's handler. Web and other application
/// links are; relative links, local files and script or data URLs are not, since a note may come
/// from anywhere and a click must not run a local program.
bool isOpenableLink(const QUrl &url);

} // namespace InlineMarkdown
