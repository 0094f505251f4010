#include "notes/filelistview.h"

#include "notes/listrowdelegate.h"
#include "notes/namedialog.h"
#include "notes/notelistmodel.h"
#include "notes/notesbrowser.h"
#include "notes/notesrowstyle.h"
#include "notes/notessettings.h"
#include "notes/rowlistview.h"
#include "platform/accessibleclicks.h"
#include "platform/symbolicons.h"
#include "storage/noteassets.h"
#include "storage/settings.h"
#include <QTimer>

#include <QActionGroup>
#include <QDrag>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QResizeEvent>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int leadingMargin = 8;
constexpr int iconSize = 15;

/// A note's row: its pin or page symbol, faded while the note is dragged. The name is edited in
/// place, and only Return renames.
class NoteRowDelegate final : public ListRowDelegate
{
public:
    explicit NoteRowDelegate(QObject *parent)
        : ListRowDelegate(NoteListModel::SelectedRole, {0.12, 6}, parent)
    {
    }

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &) const override
    {
        auto *editor = new QLineEdit(parent);
        editor->setFont(rowFont(option.font));
        editor->setAccessibleName(QStringLiteral("ノートの名前"));
        return editor;
    }

    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const override
    {
        editor->setGeometry(textRect(option.rect, index).adjusted(-3, 0, 0, 0));
    }

protected:
    QRect iconRect(const QRect &row, const QModelIndex &) const override
    {
        return {row.left() + leadingMargin, row.center().y() - iconSize / 2 + 1, iconSize,
                iconSize};
    }

    void paintIcon(QPainter &painter, const QRect &icon, const QModelIndex &index) const override
    {
        if (index.data(NoteListModel::PinnedRole).toBool())
            SymbolIcons::paint(painter, icon, SymbolIcons::Symbol::pinFilled, SymbolIcons::orange);
        else
            SymbolIcons::paint(painter, icon, SymbolIcons::Symbol::document, SymbolIcons::blue);
    }

    void paintUnderlay(QPainter &painter, const QStyleOptionViewItem &, const QModelIndex &index,
                       bool) const override
    {
        if (index.data(NoteListModel::DraggedRole).toBool())
            painter.setOpacity(0.5);
    }

    bool eventFilter(QObject *object, QEvent *event) override
    {
        // Only Return renames: clicking elsewhere leaves the name as it was.
        if (event->type() == QEvent::FocusOut &&
            static_cast<QFocusEvent *>(event)->reason() != Qt::PopupFocusReason) {
            if (auto *editor = qobject_cast<QWidget *>(object)) {
                Q_EMIT const_cast<NoteRowDelegate *>(this)->closeEditor(editor, RevertModelCache);
                return false;
            }
        }
        return ListRowDelegate::eventFilter(object, event);
    }
};

class NoteList final : public RowListView
{
public:
    NoteList(NotesBrowser &browser, FileListView &owner)
        : RowListView(
              new NoteRowDelegate(nullptr),
              [&owner](int row, const QPoint &at) { owner.openContextMenu(row, at); }, &owner),
          m_browser(browser)
    {
    }

protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override
    {
        const QModelIndex index = indexAt(event->position().toPoint());
        if (event->button() == Qt::LeftButton && index.isValid()) {
            edit(index);
            return;
        }
        QListView::mouseDoubleClickEvent(event);
    }

    void keyPressEvent(QKeyEvent *event) override
    {
        const QModelIndex index = currentIndex();
        if (index.isValid() && state() != EditingState) {
            switch (event->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
            case Qt::Key_Space:
                m_browser.selectFile(index.data(NoteListModel::PathRole).toString());
                return;
            case Qt::Key_F2:
                edit(index);
                return;
            default:
                break;
            }
        }
        QListView::keyPressEvent(event);
    }

    void startDrag(Qt::DropActions) override
    {
        // Not the item view's own drag: after a move it would remove the row from the model.
        const QModelIndex index = currentIndex();
        if (!index.isValid())
            return;
        const QString note = index.data(NoteListModel::PathRole).toString();
        QPixmap preview(visualRect(index).size() * devicePixelRatio());
        preview.setDevicePixelRatio(devicePixelRatio());
        preview.fill(Qt::transparent);
        {
            QPainter painter(&preview);
            QStyleOptionViewItem option;
            initViewItemOption(&option);
            option.rect = QRect(QPoint(), visualRect(index).size());
            itemDelegate()->paint(&painter, option, index);
        }

        m_browser.beginDrag(note);
        auto *mime = new QMimeData;
        mime->setData(NotesRowStyle::noteDragMimeType, note.toUtf8());
        mime->setText(index.data().toString());
        auto *drag = new QDrag(this);
        drag->setMimeData(mime);
        drag->setPixmap(preview);
        drag->exec(Qt::MoveAction);
        m_browser.endDrag();
    }

private:
    NotesBrowser &m_browser;
};

QIcon sortModeIcon(NotesFileSortMode mode, const QPalette &palette)
{
    switch (mode) {
    case NotesFileSortMode::modificationDate:
        return SymbolIcons::icon(SymbolIcons::Symbol::listBullet,
                                 palette.color(QPalette::PlaceholderText));
    case NotesFileSortMode::pinsFirst:
        return SymbolIcons::icon(SymbolIcons::Symbol::pinFilled, SymbolIcons::orange);
    case NotesFileSortMode::viewCount:
        return SymbolIcons::icon(SymbolIcons::Symbol::eye, SymbolIcons::orange);
    }
    return {};
}

QToolButton *headerButton(QWidget *parent, const QString &help)
{
    auto *button = new QToolButton(parent);
    button->setAutoRaise(true);
    button->setToolTip(help);
    button->setAccessibleName(help);
    return button;
}

} // namespace

FileListView::FileListView(NotesBrowser &browser, QWidget *parent)
    : QWidget(parent), m_browser(browser)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(buildHeader());
    layout->addWidget(buildList());

    followBrowser();
    connect(&Settings::instance(), &Settings::listFontSizeChanged, this,
            [this] { applyFontSize(); });

    applyFontSize();
    updateHeader();
    updateIcons();
    m_model->reload();
    showSelectedFile();
}

QLayout *FileListView::buildHeader()
{
    m_title = new QLabel(this);
    QFont headline = m_title->font();
    headline.setBold(true);
    m_title->setFont(headline);
    m_title->setMinimumWidth(40);
    m_title->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    m_sort = new QToolButton(this);
    m_sort->setAutoRaise(true);
    m_sort->setPopupMode(QToolButton::InstantPopup);
    m_sort->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; }"));
    m_sort->setMenu(buildSortMenu());

    m_add = headerButton(this, QStringLiteral("新しいノートを追加"));
    m_refresh = headerButton(this, QStringLiteral("ファイル一覧を更新"));
    connect(m_add, &QToolButton::clicked, this, &FileListView::addNote);
    connect(m_refresh, &QToolButton::clicked, &m_browser, &NotesBrowser::loadFiles);

    auto *header = new QHBoxLayout;
    header->setContentsMargins(8, 4, 4, 2);
    header->setSpacing(0);
    header->addWidget(m_title, 1);
    header->addWidget(m_sort);
    header->addWidget(m_add);
    header->addWidget(m_refresh);
    return header;
}

QMenu *FileListView::buildSortMenu()
{
    auto *menu = new QMenu(m_sort);
    // Not exclusive, so the current mode gets a check mark rather than a radio dot;
    // updateSortButton keeps exactly one checked.
    auto *group = new QActionGroup(menu);
    group->setExclusionPolicy(QActionGroup::ExclusionPolicy::None);
    for (NotesFileSortMode mode : {NotesFileSortMode::modificationDate,
                                   NotesFileSortMode::pinsFirst, NotesFileSortMode::viewCount}) {
        QAction *action = menu->addAction(sortModeLabel(mode));
        action->setCheckable(true);
        action->setData(int(mode));
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, mode] {
            m_browser.setSortMode(mode);
            updateSortButton(); // choosing the current mode again must not clear its mark
        });
    }
    return menu;
}

QWidget *FileListView::buildList()
{
    m_model = new NoteListModel(m_browser, this);
    m_list = new NoteList(m_browser, *this);
    m_list->setModel(m_model);
    m_list->setDragEnabled(true);
    m_list->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_list->setAccessibleName(QStringLiteral("ノート一覧"));
    AccessibleClicks::activateRowsOnAction(m_list);
    connect(m_list, &QListView::clicked, this, [this](const QModelIndex &index) {
        m_browser.selectFile(index.data(NoteListModel::PathRole).toString());
    });
    return m_list;
}

void FileListView::followBrowser()
{
    connect(&m_browser, &NotesBrowser::notesChanged, this, &FileListView::reloadList);
    connect(
        m_list->itemDelegate(), &QAbstractItemDelegate::closeEditor, this,
        [this] {
            if (m_reloadAfterEditing)
                QTimer::singleShot(0, this, &FileListView::reloadList);
        },
        Qt::QueuedConnection);
    connect(&m_browser, &NotesBrowser::selectedFileChanged, this, &FileListView::showSelectedFile);
    connect(&m_browser, &NotesBrowser::selectedFolderChanged, this, &FileListView::updateHeader);
    connect(&m_browser, &NotesBrowser::sortModeChanged, this, &FileListView::updateSortButton);
    connect(&m_browser, &NotesBrowser::pinsChanged, this,
            [this] { m_model->refreshRole(NoteListModel::PinnedRole); });
    connect(&m_browser, &NotesBrowser::draggedFileChanged, this,
            [this] { m_model->refreshRole(NoteListModel::DraggedRole); });
}

void FileListView::reloadList()
{
    // A reload would close the in-place editor and lose the name being typed; it waits.
    m_reloadAfterEditing = m_list->isEditing();
    if (m_reloadAfterEditing)
        return;
    m_model->reload();
    showSelectedFile();
}

void FileListView::showSelectedFile()
{
    const int row = m_model->rowOf(m_browser.selectedFile());
    if (row >= 0)
        m_list->setCurrentIndex(m_model->index(row));
    m_model->refreshRole(NoteListModel::SelectedRole);
}

QString FileListView::sortModeLabel(NotesFileSortMode mode)
{
    switch (mode) {
    case NotesFileSortMode::modificationDate:
        return QStringLiteral("更新日時順");
    case NotesFileSortMode::pinsFirst:
        return QStringLiteral("ピン留め優先");
    case NotesFileSortMode::viewCount:
        return QStringLiteral("閲覧順");
    }
    return {};
}

QListView *FileListView::listView() const
{
    return m_list;
}

int FileListView::rowOf(const QString &note) const
{
    return m_model->rowOf(note);
}

void FileListView::beginRename(int row)
{
    const QModelIndex index = m_model->index(row);
    if (!index.isValid())
        return;
    m_list->setCurrentIndex(index);
    m_list->edit(index);
}

QMenu *FileListView::openContextMenu(int row, const QPoint &globalPos)
{
    const QModelIndex index = m_model->index(row);
    if (!index.isValid())
        return nullptr;
    const QString note = index.data(NoteListModel::PathRole).toString();
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const bool pinned = m_browser.isPinned(note);
    menu->addAction(pinned ? QStringLiteral("ピン留めを解除") : QStringLiteral("ピン留め"), this,
                    [this, note] { m_browser.togglePin(note); });
    menu->addAction(QStringLiteral("ノートの名前を変更"), this,
                    [this, note] { beginRename(rowOf(note)); });
    menu->addSeparator();
    menu->addAction(QStringLiteral("ノートを削除"), this, [this, note] { deleteNote(note); });
    menu->popup(globalPos);
    return menu;
}

void FileListView::updateHeader()
{
    const QString folder = m_browser.selectedFolder();
    const QString name =
        folder.isEmpty() ? QStringLiteral("すべて") : folder.mid(folder.lastIndexOf(u'/') + 1);
    m_fullTitle = QStringLiteral("ノート一覧: ") + name;
    m_title->setToolTip(m_fullTitle);
    m_title->setAccessibleName(m_fullTitle);
    elideTitle();
    // A new note needs a folder to go to; "すべて" is every folder at once.
    m_add->setEnabled(!folder.isEmpty());
}

void FileListView::updateSortButton()
{
    const NotesFileSortMode mode = m_browser.sortMode();
    m_sort->setIcon(sortModeIcon(mode, palette()));
    m_sort->setToolTip(QStringLiteral("並べ替え: ") + sortModeLabel(mode));
    m_sort->setAccessibleName(m_sort->toolTip());
    for (QAction *action : m_sort->menu()->actions())
        action->setChecked(action->data().toInt() == int(mode));
}

void FileListView::elideTitle()
{
    m_title->setText(
        m_title->fontMetrics().elidedText(m_fullTitle, Qt::ElideRight, m_title->width()));
}

void FileListView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    elideTitle();
}

void FileListView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        updateIcons();
}

void FileListView::updateIcons()
{
    const QColor text = palette().color(QPalette::WindowText);
    m_add->setIcon(SymbolIcons::icon(SymbolIcons::Symbol::plus, text));
    m_refresh->setIcon(SymbolIcons::icon(SymbolIcons::Symbol::refresh, text));
    updateSortButton();
}

void FileListView::applyFontSize()
{
    m_list->setRowFontSize(Settings::instance().listFontSize());
}

void FileListView::addNote()
{
    const QString folder =
        m_browser.isAllNotesSelected() ? m_browser.notesFolder() : m_browser.selectedFolder();
    if (folder.isEmpty())
        return;
    NameDialog::ask(NameDialog::Kind::newNote, QStringLiteral("新しいノート.md"), this,
                    [this, folder](const QString &name) { m_browser.createNote(folder, name); });
}

void FileListView::deleteNote(const QString &note)
{
    askToDelete(
        this, QStringLiteral("本当に削除しますか？"), [this, note] { m_browser.deleteNote(note); },
        NoteAssets::deletionNotice(note));
}
