#include "notes/filelistview.h"

#include "notes/namedialog.h"
#include "notes/notesbrowser.h"
#include "notes/notesicons.h"
#include "notes/notesrowstyle.h"
#include "notes/notessettings.h"
#include "platform/accessibleclicks.h"
#include "storage/settings.h"
#include <QTimer>

#include <QAbstractListModel>
#include <QActionGroup>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDrag>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QResizeEvent>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

enum Role {
    PathRole = Qt::UserRole + 1,
    PinnedRole,
    SelectedRole,
    DraggedRole,
};

constexpr int leadingMargin = 8;
constexpr int iconSize = 15;
constexpr int iconSpacing = 6;

QString fileNameOf(const QString &path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

} // namespace

/// The listed notes. Editing a row's name asks the browser to rename the note once the editor
/// has closed.
class NoteListModel : public QAbstractListModel
{
public:
    NoteListModel(NotesBrowser &browser, QObject *parent)
        : QAbstractListModel(parent), m_browser(browser)
    {
    }

    void reload()
    {
        beginResetModel();
        m_notes = m_browser.notes();
        endResetModel();
    }

    void refreshRole(int role)
    {
        if (!m_notes.isEmpty())
            Q_EMIT dataChanged(index(0), index(rowCount() - 1), {role});
    }

    int rowOf(const QString &note) const { return int(m_notes.indexOf(note)); }

    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_notes.size());
    }

    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        return QAbstractListModel::flags(index) | Qt::ItemIsEditable | Qt::ItemIsDragEnabled;
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= m_notes.size())
            return {};
        const QString &path = m_notes.at(index.row());
        switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
        case Qt::ToolTipRole:
            return fileNameOf(path);
        case Qt::EditRole:
            return QFileInfo(path).completeBaseName();
        case Qt::AccessibleDescriptionRole:
            return m_browser.isPinned(path) ? QStringLiteral("ピン留め") : QString();
        case PathRole:
            return path;
        case PinnedRole:
            return m_browser.isPinned(path);
        case SelectedRole:
            return path == m_browser.selectedFile();
        case DraggedRole:
            return path == m_browser.draggedFile();
        default:
            return {};
        }
    }

    bool setData(const QModelIndex &index, const QVariant &value, int role) override
    {
        if (role != Qt::EditRole || !index.isValid())
            return false;
        // Renaming rebuilds the list; wait until the item view has closed its editor.
        QTimer::singleShot(0, this,
                           [this, path = m_notes.at(index.row()), name = value.toString()] {
                               if (m_browser.renameNote(path, name).status ==
                                   NotesOperations::Result::Status::refused)
                                   QApplication::beep();
                           });
        return true;
    }

private:
    NotesBrowser &m_browser;
    QStringList m_notes;
};

namespace {

class NoteRowDelegate final : public QStyledItemDelegate
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
        if (index.data(DraggedRole).toBool())
            painter->setOpacity(0.5);
        const QRect icon = iconRect(option.rect);
        if (index.data(PinnedRole).toBool())
            NotesIcons::paintSymbol(*painter, icon, NotesIcons::Symbol::pinFilled,
                                    NotesIcons::orange);
        else
            NotesIcons::paintSymbol(*painter, icon, NotesIcons::Symbol::document, NotesIcons::blue);
        const QFont font = NotesRowStyle::listFont(option.font, m_fontSize);
        painter->setFont(font);
        painter->setPen(option.palette.color(QPalette::Text));
        const QRect text = textRect(option.rect);
        painter->drawText(
            text, Qt::AlignVCenter | Qt::AlignLeft,
            QFontMetrics(font).elidedText(index.data().toString(), Qt::ElideMiddle, text.width()));
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const override
    {
        const QFontMetrics metrics(NotesRowStyle::listFont(option.font, m_fontSize));
        const int padding = qMax(1, qRound(m_fontSize * 0.12)) * 2;
        return {100, qMax(m_fontSize + 6, metrics.height() + padding)};
    }

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &) const override
    {
        auto *editor = new QLineEdit(parent);
        editor->setFont(NotesRowStyle::listFont(option.font, m_fontSize));
        editor->setAccessibleName(QStringLiteral("ノートの名前"));
        return editor;
    }

    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                              const QModelIndex &) const override
    {
        editor->setGeometry(textRect(option.rect).adjusted(-3, 0, 0, 0));
    }

protected:
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
        return QStyledItemDelegate::eventFilter(object, event);
    }

private:
    static QRect iconRect(const QRect &row)
    {
        return {row.left() + leadingMargin, row.center().y() - iconSize / 2 + 1, iconSize,
                iconSize};
    }
    static QRect textRect(const QRect &row)
    {
        return row.adjusted(leadingMargin + iconSize + iconSpacing, 0, -2, 0);
    }

    int m_fontSize = Settings::defaultListFontSize;
};

class NoteList final : public QListView
{
public:
    NoteList(NotesBrowser &browser, FileListView &owner)
        : QListView(&owner), m_browser(browser), m_owner(owner)
    {
    }

    bool isEditing() const { return state() == EditingState; }

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
                m_browser.selectFile(index.data(PathRole).toString());
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

    void startDrag(Qt::DropActions) override
    {
        // Not the item view's own drag: after a move it would remove the row from the model.
        const QModelIndex index = currentIndex();
        if (!index.isValid())
            return;
        const QString note = index.data(PathRole).toString();
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
        mime->setText(fileNameOf(note));
        auto *drag = new QDrag(this);
        drag->setMimeData(mime);
        drag->setPixmap(preview);
        drag->exec(Qt::MoveAction);
        m_browser.endDrag();
    }

private:
    NotesBrowser &m_browser;
    FileListView &m_owner;
};

QIcon sortModeIcon(NotesFileSortMode mode, const QPalette &palette)
{
    switch (mode) {
    case NotesFileSortMode::modificationDate:
        return NotesIcons::icon(NotesIcons::Symbol::listBullet,
                                palette.color(QPalette::PlaceholderText));
    case NotesFileSortMode::pinsFirst:
        return NotesIcons::icon(NotesIcons::Symbol::pinFilled, NotesIcons::orange);
    case NotesFileSortMode::viewCount:
        return NotesIcons::icon(NotesIcons::Symbol::eye, NotesIcons::orange);
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
    auto *sortMenu = new QMenu(m_sort);
    // Not exclusive, so the current mode gets a check mark rather than a radio dot;
    // updateSortButton keeps exactly one checked.
    auto *sortGroup = new QActionGroup(sortMenu);
    sortGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::None);
    for (NotesFileSortMode mode : {NotesFileSortMode::modificationDate,
                                   NotesFileSortMode::pinsFirst, NotesFileSortMode::viewCount}) {
        QAction *action = sortMenu->addAction(sortModeLabel(mode));
        action->setCheckable(true);
        action->setData(int(mode));
        sortGroup->addAction(action);
        connect(action, &QAction::triggered, this, [this, mode] {
            m_browser.setSortMode(mode);
            updateSortButton(); // choosing the current mode again must not clear its mark
        });
    }
    m_sort->setMenu(sortMenu);

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

    m_model = new NoteListModel(m_browser, this);
    auto *list = new NoteList(m_browser, *this);
    m_list = list;
    m_list->setModel(m_model);
    m_list->setItemDelegate(new NoteRowDelegate(m_list));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setUniformItemSizes(true);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setDragEnabled(true);
    m_list->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_list->setAccessibleName(QStringLiteral("ノート一覧"));
    AccessibleClicks::activateRowsOnAction(m_list);
    connect(m_list, &QListView::clicked, this, [this](const QModelIndex &index) {
        m_browser.selectFile(index.data(PathRole).toString());
    });

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(header);
    layout->addWidget(m_list);

    const auto showSelectedFile = [this] {
        const int row = m_model->rowOf(m_browser.selectedFile());
        if (row >= 0)
            m_list->setCurrentIndex(m_model->index(row));
        m_model->refreshRole(SelectedRole);
    };
    const auto reload = [this, showSelectedFile] {
        // A reload would close the in-place editor and lose the name being typed; it waits.
        m_reloadAfterEditing = static_cast<NoteList *>(m_list)->isEditing();
        if (m_reloadAfterEditing)
            return;
        m_model->reload();
        showSelectedFile();
    };
    connect(&m_browser, &NotesBrowser::notesChanged, this, reload);
    connect(
        m_list->itemDelegate(), &QAbstractItemDelegate::closeEditor, this,
        [this, reload] {
            if (m_reloadAfterEditing)
                QTimer::singleShot(0, this, reload);
        },
        Qt::QueuedConnection);
    connect(&m_browser, &NotesBrowser::selectedFileChanged, this, showSelectedFile);
    connect(&m_browser, &NotesBrowser::selectedFolderChanged, this, &FileListView::updateHeader);
    connect(&m_browser, &NotesBrowser::sortModeChanged, this, &FileListView::updateSortButton);
    connect(&m_browser, &NotesBrowser::pinsChanged, this,
            [this] { m_model->refreshRole(PinnedRole); });
    connect(&m_browser, &NotesBrowser::draggedFileChanged, this,
            [this] { m_model->refreshRole(DraggedRole); });
    connect(&Settings::instance(), &Settings::listFontSizeChanged, this,
            [this] { applyFontSize(); });

    applyFontSize();
    updateHeader();
    updateIcons();
    m_model->reload();
    showSelectedFile();
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
    const QString note = index.data(PathRole).toString();
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
    m_add->setIcon(NotesIcons::icon(NotesIcons::Symbol::plus, text));
    m_refresh->setIcon(NotesIcons::icon(NotesIcons::Symbol::refresh, text));
    updateSortButton();
}

void FileListView::applyFontSize()
{
    static_cast<NoteRowDelegate *>(m_list->itemDelegate())
        ->setFontSize(Settings::instance().listFontSize());
    m_list->doItemsLayout();
    m_list->viewport()->update();
}

void FileListView::addNote()
{
    const QString folder = m_browser.selectedFolder();
    if (folder.isEmpty())
        return;
    NameDialog::ask(NameDialog::Kind::newNote, QStringLiteral("新しいノート.md"), this,
                    [this, folder](const QString &name) { m_browser.createNote(folder, name); });
}

void FileListView::deleteNote(const QString &note)
{
    askToDelete(this, QStringLiteral("本当に削除しますか？"),
                [this, note] { m_browser.deleteNote(note); });
}
