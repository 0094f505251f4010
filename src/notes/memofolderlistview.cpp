#include "notes/memofolderlistview.h"

#include "notes/folderlistmodel.h"
#include "notes/listrowdelegate.h"
#include "notes/namedialog.h"
#include "notes/notesbrowser.h"
#include "notes/notesicons.h"
#include "notes/notesrowstyle.h"
#include "notes/notessettings.h"
#include "notes/rowlistview.h"
#include "platform/accessibleclicks.h"
#include "platform/symbolicons.h"
#include "storage/settings.h"

#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>

namespace {

constexpr int leadingMargin = 6;
constexpr int indentStep = 12;
constexpr int iconWidth = 16;

int iconLeft(int depth)
{
    return leadingMargin + depth * indentStep;
}

/// A folder's row: its folder icon indented by depth ("すべて" has a grid), on a blue tint while
/// a note is dragged over it.
class FolderRowDelegate final : public ListRowDelegate
{
public:
    explicit FolderRowDelegate(QObject *parent)
        : ListRowDelegate(FolderListModel::SelectedRole, {0.08, 8}, parent)
    {
    }

protected:
    QRect iconRect(const QRect &row, const QModelIndex &index) const override
    {
        const int depth = index.data(FolderListModel::DepthRole).toInt();
        return {row.left() + iconLeft(depth), row.center().y() - iconWidth / 2 + 1, iconWidth,
                iconWidth};
    }

    void paintIcon(QPainter &painter, const QRect &icon, const QModelIndex &index) const override
    {
        const QVariant state = index.data(FolderListModel::StateRole);
        if (state.isValid())
            NotesIcons::paintFolderTreeIcon(painter, icon, FolderIconState(state.toInt()));
        else
            SymbolIcons::paint(painter, icon.adjusted(1, 1, -1, -1), SymbolIcons::Symbol::grid,
                               SymbolIcons::blue);
    }

    void paintUnderlay(QPainter &painter, const QStyleOptionViewItem &option,
                       const QModelIndex &index, bool selected) const override
    {
        if (!selected && index.data(FolderListModel::DropTargetRole).toBool())
            painter.fillRect(option.rect, NotesRowStyle::dropTargetColor());
    }
};

class FolderList final : public RowListView
{
public:
    FolderList(NotesBrowser &browser, FolderListModel &model, MemoFolderListView &owner)
        : RowListView(
              new FolderRowDelegate(nullptr),
              [&owner](int row, const QPoint &at) { owner.openContextMenu(row, at); }, &owner),
          m_browser(browser), m_model(model), m_owner(owner)
    {
    }

protected:
    void mousePressEvent(QMouseEvent *event) override
    {
        const QModelIndex index = indexAt(event->position().toPoint());
        if (event->button() == Qt::LeftButton && onToggleIcon(index, event->position().toPoint())) {
            m_browser.toggleExpanded(index.data(FolderListModel::PathRole).toString());
            return;
        }
        QListView::mousePressEvent(event);
    }

    void keyPressEvent(QKeyEvent *event) override
    {
        const QModelIndex index = currentIndex();
        const QVariant state = index.data(FolderListModel::StateRole);
        const bool open =
            state.isValid() && FolderIconState(state.toInt()) == FolderIconState::expanded;
        const bool closed =
            state.isValid() && FolderIconState(state.toInt()) == FolderIconState::collapsed;
        if ((event->key() == Qt::Key_Left && open) || (event->key() == Qt::Key_Right && closed)) {
            m_browser.toggleExpanded(index.data(FolderListModel::PathRole).toString());
            return;
        }
        QListView::keyPressEvent(event);
    }

    bool viewportEvent(QEvent *event) override
    {
        if (event->type() == QEvent::ToolTip) {
            auto *help = static_cast<QHelpEvent *>(event);
            const QModelIndex index = indexAt(help->pos());
            const QVariant state = index.data(FolderListModel::StateRole);
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
        const QString folder = index.data(FolderListModel::PathRole).toString();
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
        const QVariant state = index.data(FolderListModel::StateRole);
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
        SymbolIcons::icon(SymbolIcons::Symbol::refresh, palette().color(QPalette::WindowText)));
    m_refresh->setToolTip(QStringLiteral("フォルダ一覧を更新"));
    m_refresh->setAccessibleName(m_refresh->toolTip());
    connect(m_refresh, &QToolButton::clicked, &m_browser, &NotesBrowser::refreshFolders);

    auto *header = new QHBoxLayout;
    header->setContentsMargins(8, 4, 4, 2);
    header->addWidget(title);
    header->addStretch();
    header->addWidget(m_refresh);

    m_model = new FolderListModel(m_browser, this);
    m_list = new FolderList(m_browser, *m_model, *this);
    m_list->setModel(m_model);
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
                    m_browser.selectFolder(current.data(FolderListModel::PathRole).toString());
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
        SymbolIcons::icon(SymbolIcons::Symbol::refresh, palette().color(QPalette::WindowText)));
}

QListView *MemoFolderListView::listView() const
{
    return m_list;
}

int MemoFolderListView::rowOf(const QString &folder) const
{
    return m_model->rowOf(folder);
}

QRect MemoFolderListView::iconRect(int row) const
{
    const QRect rowRect = m_list->visualRect(m_model->index(row));
    const int depth = m_model->index(row).data(FolderListModel::DepthRole).toInt();
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
    m_list->setRowFontSize(Settings::instance().listFontSize());
}
