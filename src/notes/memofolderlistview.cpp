#include "notes/memofolderlistview.h"

#include "notes/namedialog.h"
#include "notes/notesbrowser.h"
#include "notes/notesicons.h"
#include "notes/notesrowstyle.h"
#include "notes/notessettings.h"
#include "platform/accessibleclicks.h"
#include "storage/settings.h"

#include <QAbstractListModel>
#include <QContextMenuEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>

namespace {

enum Role {
    PathRole = Qt::UserRole + 1,
    DepthRole,
    StateRole,
    SelectedRole,
    DropTargetRole,
};

constexpr int leadingMargin = 6;
constexpr int indentStep = 12;
constexpr int iconWidth = 16;
constexpr int iconSpacing = 6;

int iconLeft(int depth)
{
    return leadingMargin + depth * indentStep;
}

} // namespace

/// "すべて" followed by the shown folders. Row 0 has an empty path.
class FolderListModel : public QAbstractListModel
{
public:
    explicit FolderListModel(NotesBrowser &browser, QObject *parent)
        : QAbstractListModel(parent), m_browser(browser)
    {
    }

    void reload()
    {
        beginResetModel();
        m_rows = m_browser.visibleFolderRows();
        endResetModel();
    }

    void setDropTargetRow(int row)
    {
        if (row == m_dropTarget)
            return;
        const int old = std::exchange(m_dropTarget, row);
        for (int changed : {old, row}) {
            if (changed >= 0 && changed < rowCount())
                Q_EMIT dataChanged(index(changed), index(changed), {DropTargetRole});
        }
    }

    void selectionChanged() { Q_EMIT dataChanged(index(0), index(rowCount() - 1), {SelectedRole}); }

    int rowOf(const QString &folder) const
    {
        if (folder.isEmpty())
            return 0;
        for (int i = 0; i < m_rows.size(); ++i) {
            if (m_rows.at(i).path == folder)
                return i + 1;
        }
        return -1;
    }

    const FolderRow *folderAt(int row) const
    {
        return row >= 1 && row <= m_rows.size() ? &m_rows.at(row - 1) : nullptr;
    }

    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_rows.size()) + 1;
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid())
            return {};
        const FolderRow *folder = folderAt(index.row());
        switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            return folder ? folder->name : QStringLiteral("すべて");
        case Qt::AccessibleDescriptionRole:
            return folder ? NotesIcons::folderIconLabel(folder->state) : QVariant();
        case PathRole:
            return folder ? folder->path : QString();
        case DepthRole:
            return folder ? folder->depth : 0;
        case StateRole:
            return folder ? int(folder->state) : QVariant();
        case SelectedRole:
            return folder ? folder->path == m_browser.selectedFolder()
                          : m_browser.isAllNotesSelected();
        case DropTargetRole:
            return index.row() == m_dropTarget;
        default:
            return {};
        }
    }

private:
    NotesBrowser &m_browser;
    QList<FolderRow> m_rows;
    int m_dropTarget = -1;
};

namespace {

class FolderRowDelegate final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void setFontSize(int size) { m_fontSize = size; }

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        painter->save();
        if (index.data(SelectedRole).toBool())
            painter->fillRect(option.rect, NotesRowStyle::selectionColor(option.palette));
        else if (index.data(DropTargetRole).toBool())
            painter->fillRect(option.rect, NotesRowStyle::dropTargetColor());

        const int depth = index.data(DepthRole).toInt();
        const QRect icon(option.rect.left() + iconLeft(depth),
                         option.rect.center().y() - iconWidth / 2 + 1, iconWidth, iconWidth);
        const QVariant state = index.data(StateRole);
        if (state.isValid())
            NotesIcons::paintFolderTreeIcon(*painter, icon, FolderIconState(state.toInt()));
        else
            NotesIcons::paintSymbol(*painter, icon.adjusted(1, 1, -1, -1), NotesIcons::Symbol::grid,
                                    NotesIcons::blue);

        const QFont font = NotesRowStyle::listFont(option.font, m_fontSize);
        painter->setFont(font);
        painter->setPen(option.palette.color(QPalette::Text));
        const QRect text =
            option.rect.adjusted(icon.right() + 1 + iconSpacing - option.rect.left(), 0, -2, 0);
        const QString name =
            QFontMetrics(font).elidedText(index.data().toString(), Qt::ElideMiddle, text.width());
        painter->drawText(text, Qt::AlignVCenter | Qt::AlignLeft, name);
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const override
    {
        const QFontMetrics metrics(NotesRowStyle::listFont(option.font, m_fontSize));
        const int padding = qMax(1, qRound(m_fontSize * 0.08)) * 2;
        return {100, qMax(m_fontSize + 8, metrics.height() + padding)};
    }

private:
    int m_fontSize = Settings::defaultListFontSize;
};

class FolderList final : public QListView
{
public:
    FolderList(NotesBrowser &browser, FolderListModel &model, MemoFolderListView &owner)
        : QListView(&owner), m_browser(browser), m_model(model), m_owner(owner)
    {
    }

protected:
    void mousePressEvent(QMouseEvent *event) override
    {
        const QModelIndex index = indexAt(event->position().toPoint());
        if (event->button() == Qt::LeftButton && onToggleIcon(index, event->position().toPoint())) {
            m_browser.toggleExpanded(index.data(PathRole).toString());
            return;
        }
        QListView::mousePressEvent(event);
    }

    void keyPressEvent(QKeyEvent *event) override
    {
        const QModelIndex index = currentIndex();
        const QVariant state = index.data(StateRole);
        const bool open =
            state.isValid() && FolderIconState(state.toInt()) == FolderIconState::expanded;
        const bool closed =
            state.isValid() && FolderIconState(state.toInt()) == FolderIconState::collapsed;
        if ((event->key() == Qt::Key_Left && open) || (event->key() == Qt::Key_Right && closed)) {
            m_browser.toggleExpanded(index.data(PathRole).toString());
            return;
        }
        QListView::keyPressEvent(event);
    }

    bool viewportEvent(QEvent *event) override
    {
        if (event->type() == QEvent::ToolTip) {
            auto *help = static_cast<QHelpEvent *>(event);
            const QModelIndex index = indexAt(help->pos());
            const QVariant state = index.data(StateRole);
            if (state.isValid() && m_owner.iconRect(index.row()).contains(help->pos()))
                QToolTip::showText(help->globalPos(),
                                   NotesIcons::folderIconHelp(FolderIconState(state.toInt())),
                                   viewport());
            else
                QToolTip::hideText();
            return true;
        }
        return QListView::viewportEvent(event);
    }

    void contextMenuEvent(QContextMenuEvent *event) override
    {
        QModelIndex index = indexAt(event->pos());
        QPoint at = event->globalPos();
        if (event->reason() == QContextMenuEvent::Keyboard) {
            index = currentIndex();
            at = viewport()->mapToGlobal(visualRect(index).center());
        }
        if (index.isValid())
            m_owner.openContextMenu(index.row(), at);
    }

    void dragEnterEvent(QDragEnterEvent *event) override
    {
        if (event->mimeData()->hasFormat(NotesRowStyle::noteDragMimeType))
            event->acceptProposedAction();
        else
            event->ignore();
    }

    void dragMoveEvent(QDragMoveEvent *event) override
    {
        const QModelIndex index = indexAt(event->position().toPoint());
        const bool onFolder = index.isValid() && index.row() > 0 &&
                              event->mimeData()->hasFormat(NotesRowStyle::noteDragMimeType);
        m_model.setDropTargetRow(onFolder ? index.row() : -1);
        if (onFolder)
            event->acceptProposedAction();
        else
            event->ignore();
    }

    void dragLeaveEvent(QDragLeaveEvent *) override { m_model.setDropTargetRow(-1); }

    void dropEvent(QDropEvent *event) override
    {
        m_model.setDropTargetRow(-1);
        const QModelIndex index = indexAt(event->position().toPoint());
        const QString folder = index.data(PathRole).toString();
        const QByteArray note = event->mimeData()->data(NotesRowStyle::noteDragMimeType);
        if (folder.isEmpty() || note.isEmpty()) {
            event->ignore();
            return;
        }
        event->acceptProposedAction();
        // Moved once the drag has finished, so the list the drag started from is not rebuilt
        // under it.
        QMetaObject::invokeMethod(
            &m_owner,
            [browser = &m_browser, path = QString::fromUtf8(note), folder] {
                browser->moveNote(path, folder);
            },
            Qt::QueuedConnection);
    }

private:
    bool onToggleIcon(const QModelIndex &index, const QPoint &pos) const
    {
        const QVariant state = index.data(StateRole);
        return state.isValid() && FolderIconState(state.toInt()) != FolderIconState::leaf &&
               m_owner.iconRect(index.row()).contains(pos);
    }

    NotesBrowser &m_browser;
    FolderListModel &m_model;
    MemoFolderListView &m_owner;
};

} // namespace

MemoFolderListView::MemoFolderListView(NotesBrowser &browser, QWidget *parent)
    : QWidget(parent), m_browser(browser)
{
    auto *title = new QLabel(QStringLiteral("フォルダ一覧"), this);
    QFont headline = title->font();
    headline.setBold(true);
    title->setFont(headline);

    m_refresh = new QToolButton(this);
    m_refresh->setAutoRaise(true);
    m_refresh->setIcon(
        NotesIcons::icon(NotesIcons::Symbol::refresh, palette().color(QPalette::WindowText)));
    m_refresh->setToolTip(QStringLiteral("フォルダ一覧を更新"));
    m_refresh->setAccessibleName(m_refresh->toolTip());
    connect(m_refresh, &QToolButton::clicked, &m_browser, &NotesBrowser::refreshFolders);

    auto *header = new QHBoxLayout;
    header->setContentsMargins(8, 4, 4, 2);
    header->addWidget(title);
    header->addStretch();
    header->addWidget(m_refresh);

    m_model = new FolderListModel(m_browser, this);
    auto *list = new FolderList(m_browser, *m_model, *this);
    m_list = list;
    m_list->setModel(m_model);
    m_list->setItemDelegate(new FolderRowDelegate(m_list));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setUniformItemSizes(true);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setAcceptDrops(true);
    m_list->viewport()->setAcceptDrops(true);
    m_list->setDropIndicatorShown(false);
    m_list->setAccessibleName(title->text());
    AccessibleClicks::activateRowsOnAction(m_list);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(header);
    layout->addWidget(m_list);

    // The list's current row mirrors the selected folder; moving it, by click or keyboard,
    // selects that folder.
    const auto showSelection = [this] {
        const int row = m_model->rowOf(m_browser.selectedFolder());
        const QSignalBlocker blocker(m_list->selectionModel());
        if (row >= 0)
            m_list->setCurrentIndex(m_model->index(row));
        else
            m_list->clearSelection();
        m_model->selectionChanged();
    };
    connect(&m_browser, &NotesBrowser::foldersChanged, this, [this, showSelection] {
        m_model->reload();
        showSelection();
    });
    connect(&m_browser, &NotesBrowser::selectedFolderChanged, this, showSelection);
    connect(m_list->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) {
                if (current.isValid())
                    m_browser.selectFolder(current.data(PathRole).toString());
            });

    connect(&Settings::instance(), &Settings::listFontSizeChanged, this,
            [this] { applyFontSize(); });
    applyFontSize();
    updateIcons();
    m_model->reload();
    showSelection();
}

void MemoFolderListView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        updateIcons();
}

void MemoFolderListView::updateIcons()
{
    m_refresh->setIcon(
        NotesIcons::icon(NotesIcons::Symbol::refresh, palette().color(QPalette::WindowText)));
}

int MemoFolderListView::rowOf(const QString &folder) const
{
    return m_model->rowOf(folder);
}

QRect MemoFolderListView::iconRect(int row) const
{
    const QRect rowRect = m_list->visualRect(m_model->index(row));
    const int depth = m_model->index(row).data(DepthRole).toInt();
    return {rowRect.left() + iconLeft(depth), rowRect.top(), iconWidth, rowRect.height()};
}

QMenu *MemoFolderListView::openContextMenu(int row, const QPoint &globalPos)
{
    const FolderRow *folder = m_model->folderAt(row);
    if (!folder)
        return nullptr;
    const QString path = folder->path;
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(QStringLiteral("フォルダを追加"), this, [this, path] { addFolder(path); });
    if (path != m_browser.notesFolder()) {
        menu->addAction(QStringLiteral("フォルダ名を変更"), this,
                        [this, path] { renameFolder(path); });
        menu->addAction(QStringLiteral("フォルダを削除"), this,
                        [this, path] { deleteFolder(path); });
    }
    menu->addSeparator();
    menu->addAction(QStringLiteral("ノートを追加"), this, [this, path] { addNote(path); });
    menu->popup(globalPos);
    return menu;
}

void MemoFolderListView::addFolder(const QString &parent)
{
    NameDialog::ask(NameDialog::Kind::newFolder, QStringLiteral("新しいフォルダ"), this,
                    [this, parent](const QString &name) { m_browser.createFolder(parent, name); });
}

void MemoFolderListView::renameFolder(const QString &folder)
{
    const QString name = folder.mid(folder.lastIndexOf(u'/') + 1);
    NameDialog::ask(
        NameDialog::Kind::renameFolder, name, this,
        [this, folder](const QString &newName) { m_browser.renameFolder(folder, newName); });
}

void MemoFolderListView::deleteFolder(const QString &folder)
{
    askToDelete(this, QStringLiteral("フォルダを削除しますか？"),
                [this, folder] { m_browser.deleteFolder(folder); });
}

void MemoFolderListView::addNote(const QString &folder)
{
    NameDialog::ask(NameDialog::Kind::newNote, QStringLiteral("新しいノート.md"), this,
                    [this, folder](const QString &name) { m_browser.createNote(folder, name); });
}

void MemoFolderListView::applyFontSize()
{
    static_cast<FolderRowDelegate *>(m_list->itemDelegate())
        ->setFontSize(Settings::instance().listFontSize());
    m_list->doItemsLayout();
    m_list->viewport()->update();
}
