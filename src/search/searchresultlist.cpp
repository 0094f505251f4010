#include "search/searchresultlist.h"

#include "platform/symbolicons.h"
#include "search/keywordmatcher.h"
#include "storage/pins.h"

#include <QAbstractItemView>
#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>
#include <QToolTip>

namespace {

constexpr int horizontalPadding = 8;
// Space between rows beyond the row's own padding, as a list on the desktop has it.
constexpr int rowInset = 3;
constexpr int captionPixels = 11;
constexpr int caption2Pixels = 10;
const QChar ellipsis(0x2026);

const SearchHit *hitAt(const QModelIndex &index)
{
    const auto *model = qobject_cast<const SearchResultModel *>(index.model());
    if (!model || index.row() < 0 || index.row() >= model->hits().size())
        return nullptr;
    return &model->hits()[index.row()];
}

QColor secondaryText(const QPalette &palette)
{
    QColor color = palette.color(QPalette::Text);
    color.setAlphaF(0.6f);
    return color;
}

// The keyword's matches in the snippet, found the way the search counted them, so the marks
// fall exactly on what matched.
QList<QTextLayout::FormatRange> highlightRanges(const QString &snippet, const QString &keyword,
                                                const QColor &accent)
{
    QList<QTextLayout::FormatRange> ranges;
    if (keyword.isEmpty())
        return ranges;
    QTextCharFormat format;
    format.setFontWeight(QFont::Bold);
    format.setForeground(accent);
    const KeywordMatcher matcher(keyword);
    for (qsizetype at = matcher.indexIn(snippet); at >= 0;
         at = matcher.indexIn(snippet, at + keyword.size()))
        ranges.append({int(at), int(keyword.size()), format});
    return ranges;
}

// Japanese glyphs come from a fallback font that is often taller than the Latin one the
// metrics describe; a little headroom keeps them from being clipped.
int snippetLineHeight(const QFontMetrics &caption)
{
    return caption.lineSpacing() + 2;
}

struct SnippetLine
{
    QString text;
    QList<QTextLayout::FormatRange> formats;
};

// Breaks the snippet into at most `maxLines` lines of `width` pixels; the last one ends in "…"
// when text is left over.
QList<SnippetLine> breakSnippet(const QString &snippet,
                                const QList<QTextLayout::FormatRange> &ranges, const QFont &font,
                                int width, int maxLines)
{
    QList<SnippetLine> lines;
    if (snippet.isEmpty() || maxLines < 1 || width < 1)
        return lines;
    QTextLayout layout(snippet, font);
    layout.setFormats(ranges);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    QList<std::pair<int, int>> spans;
    bool overflow = false;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (spans.size() == maxLines) {
            overflow = true;
            break;
        }
        spans.append({line.textStart(), line.textLength()});
    }
    layout.endLayout();

    const auto rangesIn = [&](int start, int length) {
        QList<QTextLayout::FormatRange> clipped;
        for (const QTextLayout::FormatRange &range : ranges) {
            const int from = std::max(range.start, start);
            const int to = std::min(range.start + range.length, start + length);
            if (from < to)
                clipped.append({from - start, to - from, range.format});
        }
        return clipped;
    };
    for (qsizetype i = 0; i < spans.size(); ++i) {
        auto [start, length] = spans[i];
        QString text = snippet.mid(start, length);
        if (overflow && i == spans.size() - 1) {
            // Cut where the rest plus "…" still fits.
            const QFontMetricsF metrics(font);
            const qreal room = width - metrics.horizontalAdvance(ellipsis);
            while (length > 0 && metrics.horizontalAdvance(snippet.mid(start, length)) > room)
                --length;
            if (length > 0 && snippet[start + length - 1].isHighSurrogate())
                --length;
            text = snippet.mid(start, length) + ellipsis;
        }
        lines.append({text, rangesIn(start, int(text.size()))});
    }
    return lines;
}

// The match count on a rounded accent-coloured badge.
void paintBadge(QPainter &painter, const QRectF &badge, const QString &count, const QFont &font,
                const QColor &accent)
{
    QPainterPath shape;
    shape.addRoundedRect(badge, badge.height() / 2.0, badge.height() / 2.0);
    painter.fillPath(shape, accent);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(badge, Qt::AlignCenter, count);
}

} // namespace

void SearchResultModel::setHits(const QList<SearchHit> &hits)
{
    beginResetModel();
    m_hits = hits;
    endResetModel();
}

int SearchResultModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_hits.size());
}

QVariant SearchResultModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_hits.size())
        return {};
    const SearchHit &hit = m_hits[index.row()];
    switch (role) {
    case Qt::DisplayRole:
        return QFileInfo(hit.filePath).fileName();
    case Qt::ToolTipRole:
        return hit.filePath;
    case PinnedRole:
        return Pins::isPinned(hit.filePath);
    case Qt::AccessibleDescriptionRole:
        return Pins::isPinned(hit.filePath) ? SearchResultDelegate::pinnedText : QString();
    case Qt::AccessibleTextRole: {
        QStringList parts{QFileInfo(hit.filePath).fileName()};
        if (Pins::isPinned(hit.filePath))
            parts.append(SearchResultDelegate::pinnedText);
        parts.append(QStringLiteral("%1 件").arg(hit.matchCount));
        if (!hit.snippet.isEmpty())
            parts.append(hit.snippet);
        return parts.join(QStringLiteral("、"));
    }
    default:
        return {};
    }
}

struct SearchResultDelegate::Fonts
{
    QFont name;
    QFont caption;
    QFont badge;
    int pinSize;
    int padding;
};

SearchResultDelegate::Fonts SearchResultDelegate::fonts(const QFont &base) const
{
    Fonts fonts{base, base, base, std::max(m_fontSize - 3, 9), std::max(int(m_fontSize * 0.12), 1)};
    fonts.name.setPixelSize(m_fontSize);
    fonts.name.setWeight(QFont::DemiBold);
    fonts.caption.setPixelSize(captionPixels);
    fonts.badge.setPixelSize(caption2Pixels);
    return fonts;
}

QSize SearchResultDelegate::sizeHint(const QStyleOptionViewItem &option,
                                     const QModelIndex &index) const
{
    const SearchHit *hit = hitAt(index);
    const Fonts f = fonts(option.font);
    int height = 2 * (f.padding + rowInset) + QFontMetrics(f.name).height();
    const auto *view = qobject_cast<const QAbstractItemView *>(option.widget);
    const int width = view ? view->viewport()->width() : option.rect.width();
    if (hit && !hit->snippet.isEmpty()) {
        // A cheap measure is enough to tell one line from two; paint keeps to the height.
        const QFontMetrics caption(f.caption);
        const int room = width - 2 * horizontalPadding;
        const int lines = caption.horizontalAdvance(hit->snippet) <= room ? 1 : 2;
        height += 2 + lines * snippetLineHeight(caption);
    }
    return QSize(width, height);
}

void SearchResultDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                 const QModelIndex &index) const
{
    const SearchHit *hit = hitAt(index);
    if (!hit)
        return;
    const Fonts f = fonts(option.font);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setClipRect(option.rect);
    paintBackground(*painter, option, hit->filePath == m_selectedFile);
    const int snippetTop = paintTitleLine(*painter, option, index, *hit, f);
    if (!hit->snippet.isEmpty())
        paintSnippet(*painter, option, hit->snippet, f, snippetTop);
    painter->restore();
}

void SearchResultDelegate::paintBackground(QPainter &painter, const QStyleOptionViewItem &option,
                                           bool selected)
{
    const QColor accent = option.palette.color(QPalette::Highlight);
    if (selected) {
        QColor tint = accent;
        tint.setAlphaF(0.2f);
        painter.fillRect(option.rect, tint);
    }
    if (option.state & QStyle::State_HasFocus) {
        QColor ring = accent;
        ring.setAlphaF(0.6f);
        painter.setPen(QPen(ring, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(option.rect).adjusted(0.5, 0.5, -0.5, -0.5));
    }
}

SearchResultDelegate::TitleLine SearchResultDelegate::titleLine(const QStyleOptionViewItem &option,
                                                                const QModelIndex &index,
                                                                const SearchHit &hit,
                                                                const Fonts &f) const
{
    const QRect rect = option.rect;
    const bool pinned = index.data(SearchResultModel::PinnedRole).toBool();
    const QFontMetrics nameMetrics(f.name);
    const QFontMetrics badgeMetrics(f.badge);
    TitleLine line;
    line.count = QString::number(hit.matchCount);
    const int badgeWidth = badgeMetrics.horizontalAdvance(line.count) + 12;
    const int badgeHeight = badgeMetrics.height() + 2;
    const bool showBadge = hit.matchCount >= 1;
    int room = rect.width() - 2 * horizontalPadding;
    if (pinned)
        room -= f.pinSize + 6;
    if (showBadge)
        room -= badgeWidth + 6;
    line.name =
        nameMetrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideMiddle, room);
    const int lineTop = rect.top() + f.padding + rowInset;
    const int lineHeight = nameMetrics.height();
    int x = rect.left() + horizontalPadding;
    line.nameRect = QRect(x, lineTop, room, lineHeight);
    x += nameMetrics.horizontalAdvance(line.name) + 6;
    if (pinned) {
        line.pin = QRectF(x, lineTop + (lineHeight - f.pinSize) / 2.0, f.pinSize, f.pinSize);
        x += f.pinSize + 6;
    }
    if (showBadge)
        line.badge = QRectF(x, lineTop + (lineHeight - badgeHeight) / 2.0, badgeWidth, badgeHeight);
    return line;
}

int SearchResultDelegate::paintTitleLine(QPainter &painter, const QStyleOptionViewItem &option,
                                         const QModelIndex &index, const SearchHit &hit,
                                         const Fonts &f) const
{
    const TitleLine line = titleLine(option, index, hit, f);
    painter.setFont(f.name);
    painter.setPen(option.palette.color(QPalette::Text));
    painter.drawText(line.nameRect, Qt::AlignLeft | Qt::AlignVCenter, line.name);
    if (!line.pin.isEmpty())
        SymbolIcons::paint(painter, line.pin, SymbolIcons::Symbol::pinFilled, SymbolIcons::orange);
    if (!line.badge.isEmpty())
        paintBadge(painter, line.badge, line.count, f.badge,
                   option.palette.color(QPalette::Highlight));
    return line.nameRect.bottom() + 1 + 2;
}

QRect SearchResultDelegate::pinMarkRect(const QStyleOptionViewItem &option,
                                        const QModelIndex &index) const
{
    const SearchHit *hit = hitAt(index);
    return hit ? titleLine(option, index, *hit, fonts(option.font)).pin.toAlignedRect() : QRect();
}

bool SearchResultDelegate::helpEvent(QHelpEvent *event, QAbstractItemView *view,
                                     const QStyleOptionViewItem &option, const QModelIndex &index)
{
    if (event && event->type() == QEvent::ToolTip) {
        const QRect pin = pinMarkRect(option, index);
        if (!pin.isEmpty() && pin.adjusted(-2, -2, 2, 2).contains(event->pos())) {
            QToolTip::showText(event->globalPos(), pinnedText, view->viewport(), pin);
            return true;
        }
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}

void SearchResultDelegate::paintSnippet(QPainter &painter, const QStyleOptionViewItem &option,
                                        const QString &snippet, const Fonts &f, int top) const
{
    // As many lines as the row has room for, at most two.
    const QRect rect = option.rect;
    const QFontMetrics caption(f.caption);
    const int maxLines = std::clamp(
        (rect.bottom() + 1 - f.padding - top) / std::max(caption.lineSpacing(), 1), 0, 2);
    const QList<SnippetLine> lines = breakSnippet(
        snippet, highlightRanges(snippet, m_keyword, option.palette.color(QPalette::Highlight)),
        f.caption, rect.width() - 2 * horizontalPadding, maxLines);
    painter.setPen(secondaryText(option.palette));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QTextLayout layout(lines[i].text, f.caption);
        layout.setFormats(lines[i].formats);
        layout.beginLayout();
        layout.createLine().setLineWidth(1e6);
        layout.endLayout();
        layout.draw(&painter,
                    QPointF(rect.left() + horizontalPadding, top + i * caption.lineSpacing()));
    }
}
