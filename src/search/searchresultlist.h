#pragma once

#include "search/globalsearch.h"

#include <QAbstractListModel>
#include <QStyledItemDelegate>

/// The search results as list rows. Each row's accessible text is what it shows: the file
/// name, "ピン留め中" when pinned, the match count and the snippet; a pinned row's accessible
/// description is "ピン留め中".
class SearchResultModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role { HitRole = Qt::UserRole + 1, PinnedRole };

    using QAbstractListModel::QAbstractListModel;

    void setHits(const QList<SearchHit> &hits);
    const QList<SearchHit> &hits() const { return m_hits; }

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

private:
    QList<SearchHit> m_hits;
};

/// Draws a result row: the name in semibold, the orange pin of a pinned note, the count badge,
/// and up to two lines of snippet with the keyword in bold accent colour. The row of the file
/// open in the editor is tinted. The pin's tooltip says "ピン留め中"; elsewhere the row's tooltip
/// is the file's path.
class SearchResultDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    /// What the pin mark means, as its tooltip and in the row's accessible texts.
    static inline const QString pinnedText = QStringLiteral("ピン留め中");

    using QStyledItemDelegate::QStyledItemDelegate;

    /// The list font size in pixels ("uiListFontSize").
    void setFontSize(int size) { m_fontSize = size; }
    /// The keyword to mark in snippets.
    void setKeyword(const QString &keyword) { m_keyword = keyword; }
    /// The file whose row is tinted.
    void setSelectedFile(const QString &filePath) { m_selectedFile = filePath; }

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;
    /// Where a pinned row draws its pin mark (view coordinates); empty when it has none.
    QRect pinMarkRect(const QStyleOptionViewItem &option, const QModelIndex &index) const;

private:
    struct Fonts;
    /// Where the title line's parts go: the elided name, the pin, the count badge.
    struct TitleLine
    {
        QString name;
        QString count;
        QRect nameRect;
        QRectF pin;
        QRectF badge;
    };
    Fonts fonts(const QFont &base) const;
    TitleLine titleLine(const QStyleOptionViewItem &option, const QModelIndex &index,
                        const SearchHit &hit, const Fonts &f) const;
    /// The tint of the file open in the editor and the focus ring.
    static void paintBackground(QPainter &painter, const QStyleOptionViewItem &option,
                                bool selected);
    /// The name, the pin of a pinned note and the count badge; returns where the snippet starts.
    int paintTitleLine(QPainter &painter, const QStyleOptionViewItem &option,
                       const QModelIndex &index, const SearchHit &hit, const Fonts &f) const;
    /// The snippet from `top`, with the keyword marked.
    void paintSnippet(QPainter &painter, const QStyleOptionViewItem &option, const QString &snippet,
                      const Fonts &f, int top) const;

    int m_fontSize = 13;
    QString m_keyword;
    QString m_selectedFile;
};
