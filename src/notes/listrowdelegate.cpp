#include "notes/listrowdelegate.h"

#include "notes/notesrowstyle.h"

#include <QPainter>

namespace {

constexpr int iconSpacing = 6;
constexpr int trailingMargin = 2;

} // namespace

ListRowDelegate::ListRowDelegate(int selectedRole, Spacing spacing, QObject *parent)
    : QStyledItemDelegate(parent), m_selectedRole(selectedRole), m_spacing(spacing)
{
}

void ListRowDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                            const QModelIndex &index) const
{
    painter->save();
    const bool selected = index.data(m_selectedRole).toBool();
    if (selected)
        painter->fillRect(option.rect, NotesRowStyle::selectionColor(option.palette));
    paintUnderlay(*painter, option, index, selected);
    paintIcon(*painter, iconRect(option.rect, index), index);

    const QFont font = rowFont(option.font);
    painter->setFont(font);
    painter->setPen(option.palette.color(QPalette::Text));
    const QRect text = textRect(option.rect, index);
    painter->drawText(
        text, Qt::AlignVCenter | Qt::AlignLeft,
        QFontMetrics(font).elidedText(index.data().toString(), Qt::ElideMiddle, text.width()));
    painter->restore();
}

QSize ListRowDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const
{
    const QFontMetrics metrics(rowFont(option.font));
    const int padding = qMax(1, qRound(m_fontSize * m_spacing.paddingPerPixel)) * 2;
    return {100, qMax(m_fontSize + m_spacing.minimumExtra, metrics.height() + padding)};
}

void ListRowDelegate::paintUnderlay(QPainter &, const QStyleOptionViewItem &, const QModelIndex &,
                                    bool) const
{
}

QRect ListRowDelegate::textRect(const QRect &row, const QModelIndex &index) const
{
    const int left = iconRect(row, index).right() + 1 + iconSpacing;
    return row.adjusted(left - row.left(), 0, -trailingMargin, 0);
}

QFont ListRowDelegate::rowFont(const QFont &base) const
{
    return NotesRowStyle::listFont(base, m_fontSize);
}
