#include "app/simplewindow.h"

#include "platform/clock.h"
#include "platform/notificationcenter.h"
#include "storage/foldermanager.h"
#include "storage/memomanager.h"
#include "storage/pathmanager.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStatusBar>

SimpleWindow::SimpleWindow(MemoManager &memo, FolderManager &folders, QWidget *parent)
    : QMainWindow(parent), m_memo(memo), m_folders(folders)
{
    m_editor = new QPlainTextEdit(this);
    m_editor->setAccessibleName(QStringLiteral("メモ本文"));
    m_editor->setTabChangesFocus(false);
    setCentralWidget(m_editor);

    m_pathLabel = new QLabel(this);
    m_messageLabel = new QLabel(this);
    statusBar()->addWidget(m_pathLabel, 1);
    statusBar()->addPermanentWidget(m_messageLabel);

    buildMenus();

    connect(m_editor, &QPlainTextEdit::textChanged, this, [this] {
        if (m_updatingEditor)
            return;
        m_memo.setMemoText(m_editor->toPlainText());
        m_memo.updateModifiedFlag();
    });
    connect(&m_memo, &MemoManager::isModifiedChanged, this, &QWidget::setWindowModified);
    connect(&m_memo, &MemoManager::temporaryMessageChanged, this,
            [this] { m_messageLabel->setText(m_memo.temporaryMessage()); });
    connect(&m_memo, &MemoManager::currentFileURLChanged, this, &SimpleWindow::updateStatus);
    connect(&m_memo, &MemoManager::editableChanged, this, &SimpleWindow::updateStatus);
    connect(&NotificationCenter::defaultCenter(), &NotificationCenter::baseFolderChanged, this,
            &SimpleWindow::loadToday);

    resize(720, 560);
    loadToday();
}

void SimpleWindow::buildMenus()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("ファイル"));
    QAction *open = file->addAction(QStringLiteral("フォルダを開く…"));
    open->setShortcut(QKeySequence::Open);
    connect(open, &QAction::triggered, this, [this] {
        save();
        m_folders.chooseFolder();
    });
    QAction *saveAction = file->addAction(QStringLiteral("保存"));
    saveAction->setShortcut(QKeySequence::Save);
    connect(saveAction, &QAction::triggered, this, &SimpleWindow::save);
    file->addSeparator();
    QAction *quit = file->addAction(QStringLiteral("終了"));
    quit->setShortcut(QKeySequence::Quit);
    connect(quit, &QAction::triggered, this, &QWidget::close);
}

void SimpleWindow::loadToday()
{
    m_memo.loadMemo(Clock::current().now().toTimeZone(Clock::current().timeZone()).date());
    showDocument();
}

void SimpleWindow::showDocument()
{
    m_updatingEditor = true;
    m_editor->setPlainText(m_memo.memoText());
    m_updatingEditor = false;
    updateStatus();
}

void SimpleWindow::updateStatus()
{
    const QString path = m_memo.currentFileURL();
    const QString name = QFileInfo(path).completeBaseName();
    setWindowTitle(name.isEmpty() ? QStringLiteral("Quillmere")
                                  : QString(name + QStringLiteral("[*] — Quillmere")));
    m_editor->setReadOnly(!m_memo.isEditable());
    m_pathLabel->setText(m_memo.isEditable()
                             ? QString(QStringLiteral("ファイルパス: ") + path)
                             : QString(MemoManager::unreadableMessage + QStringLiteral(": ") + path));
}

void SimpleWindow::save()
{
    if (!m_memo.save())
        return;
    // Saving normalises the body (blank lines at its top are not kept); show what was written.
    if (m_memo.memoText() != m_editor->toPlainText()) {
        const int position = m_editor->textCursor().position();
        showDocument();
        QTextCursor cursor = m_editor->textCursor();
        cursor.setPosition(qMin(position, m_memo.memoText().size()));
        m_editor->setTextCursor(cursor);
    }
}

void SimpleWindow::closeEvent(QCloseEvent *event)
{
    save();
    event->accept();
}
