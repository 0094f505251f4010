#include "notes/notesview.h"

#include "notes/filelistview.h"
#include "notes/memofolderlistview.h"
#include "notes/notesbrowser.h"

#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

#include "links/tagsview.h"

NotesView::NotesView(QWidget *parent) : QWidget(parent), m_browser(new NotesBrowser(this))
{
    m_folders = new MemoFolderListView(*m_browser, this);
    m_files = new FileListView(*m_browser, this);

    auto *splitter = new QSplitter(Qt::Vertical, this);
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(m_folders);
    splitter->addWidget(m_files);
    m_tags = new TagsView(this);
    splitter->addWidget(m_tags);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 1);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(splitter);
    auto *deleted = new QPushButton(QStringLiteral("削除したノート"), this);
    deleted->setFlat(true);
    deleted->setAccessibleName(QStringLiteral("削除したノート"));
    layout->addWidget(deleted, 0, Qt::AlignLeft);
    connect(deleted, &QPushButton::clicked, this, &NotesView::deletedNotesRequested);

    connect(m_browser, &NotesBrowser::fileSelected, this, &NotesView::fileSelected);
    connect(m_browser, &NotesBrowser::saveRequested, this, &NotesView::saveRequested);
    connect(m_browser, &NotesBrowser::openFileMoved, this, &NotesView::openFileMoved);
    connect(m_browser, &NotesBrowser::fileDeleted, this, &NotesView::fileDeleted);
    connect(m_browser, &NotesBrowser::noteCreated, this, &NotesView::noteCreated);
}

void NotesView::addNote()
{
    m_files->addNote();
}

void NotesView::setSelectedFile(const QString &filePath)
{
    m_browser->setSelectedFile(filePath);
}

QString NotesView::selectedFile() const
{
    return m_browser->selectedFile();
}

void NotesView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_browser->setPageVisible(true);
}

void NotesView::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_browser->setPageVisible(false);
}
