#pragma once

#include "storage/settings.h"

#include <QStyledItemDelegate>

/// A row of the notes page's lists: the selection's tint, a symbol, then the name in the list
/// font, elided in the middle. Each list says where its symbol sits and what it is, and what else
/// the row shows beneath them.
class ListRowDelegate : public QStyledItemDelegate
{
public:
    /// How a row's height follows the font: at least `minimumExtra` pixels above the font size,
    /// and `paddingPerPixel` of the font size (at least one pixel) above and below the text.
    struct Spacing
    {
        qreal paddingPerPixel;
        int minimumExtra;
    };

    /// Rows whose model answers `selectedRole` with true are tinted as selected.
    ListRowDelegate(int selectedRole, Spacing spacing, QObject *parent);

    /// The list font size in pixels ("uiListFontSize").
    void setFontSize(int size) { m_fontSize = size; }
    int fontSize() const { return m_fontSize; }

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const final;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

protected:
    /// The symbol's square in the row `rect`.
    virtual QRect iconRect(const QRect &row, const QModelIndex &index) const = 0;
    /// Draws the row's symbol in `icon`.
    virtual void paintIcon(QPainter &painter, const QRect &icon,
                           const QModelIndex &index) const = 0;
    /// Draws what the row shows beneath its symbol and name besides the selection, and may set
    /// the painter up for them; the painter is restored after the row. Nothing by default.
    virtual void paintUnderlay(QPainter &painter, const QStyleOptionViewItem &option,
                               const QModelIndex &index, bool selected) const;

    /// Where the name goes in `row`, right of the symbol.
    QRect textRect(const QRect &row, const QModelIndex &index) const;
    /// The list font over `base`.
    QFont rowFont(const QFont &base) const;

private:
    int m_selectedRole;
    Spacing m_spacing;
    int m_fontSize = Settings::defaultListFontSize;
};
