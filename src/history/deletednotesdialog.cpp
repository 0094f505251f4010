#include "history/deletednotesdialog.h"

#include "history/historyrecorder.h"
#include "history/historyrestore.h"
#include "platform/clock.h"
#include "storage/pathmanager.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

DeletedNotesDialog::DeletedNotesDialog(HistoryRecorder &recorder, QWidget *parent)
    : QDialog(parent), m_recorder(recorder)
{
    setWindowTitle(title);
    m_message = new QLabel(this);
    m_message->setWordWrap(true);
    m_list = new QTreeWidget(this);
    m_list->setAccessibleName(title);
    m_list->setRootIsDecorated(false);
    m_list->setHeaderLabels({QStringLiteral("名前"), QStringLiteral("フォルダ"),
                             QStringLiteral("削除した日時"), QStringLiteral("最初の行")});
    m_list->header()->setStretchLastSection(true);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    m_restore = buttons->addButton(restoreTitle, QDialogButtonBox::ActionRole);
    m_restore->setAccessibleName(restoreTitle);
    m_restore->setEnabled(false);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_message);
    layout->addWidget(m_list, 1);
    layout->addWidget(buttons);
    resize(720, 420);

    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_list, &QTreeWidget::currentItemChanged, this,
            [this] { m_restore->setEnabled(m_list->currentIndex().isValid()); });
    connect(m_restore, &QPushButton::clicked, this,
            [this] { restoreRow(m_list->currentIndex().row()); });
    refresh();
}

void DeletedNotesDialog::refresh()
{
    m_message->setText(QStringLiteral("読み込んでいます…"));
    // The dialog may be closed (and gone) before the answer comes.
    const QPointer<DeletedNotesDialog> self(this);
    m_recorder.deletedNotes([self, this](std::optional<QList<DeletedNote>> notes,
                                         const QString &error) {
        if (!self)
            return;
        m_notes = notes.value_or(QList<DeletedNote>());
        m_list->clear();
        const QTimeZone zone = Clock::current().timeZone();
        for (const DeletedNote &note : std::as_const(m_notes)) {
            const qsizetype slash = note.path.lastIndexOf(u'/');
            auto *item = new QTreeWidgetItem(
                m_list,
                {note.path.sliced(slash + 1), slash < 0 ? QString() : note.path.first(slash),
                 note.time.toTimeZone(zone).toString(QStringLiteral("yyyy-MM-dd HH:mm")),
                 note.firstLine});
            Q_UNUSED(item);
        }
        m_message->setText(!notes ? QStringLiteral("履歴を読めません: ") + error
                           : m_notes.isEmpty()
                               ? QStringLiteral("履歴に残っている削除したノートはありません")
                               : QString());
        m_message->setVisible(!m_message->text().isEmpty());
        Q_EMIT listed();
    });
}

void DeletedNotesDialog::restoreRow(int row)
{
    if (row < 0 || row >= m_notes.size())
        return;
    const DeletedNote note = m_notes[row];
    const QString target = QDir::cleanPath(PathManager::baseFolderPath()) + u'/' + note.path;
    m_recorder.text(target, note.versionId,
                    [self = QPointer<DeletedNotesDialog>(this), this,
                     target](std::optional<QByteArray> bytes, const QString &error) {
                        if (!self)
                            return;
                        QString why = error;
                        const QString written =
                            bytes ? HistoryRestore::writeNew(target, *bytes, &why) : QString();
                        if (written.isEmpty()) {
                            m_message->setText(QStringLiteral("戻せませんでした: ") + why);
                            m_message->setVisible(true);
                            return;
                        }
                        Q_EMIT restored(written);
                        refresh();
                        m_message->setText(QStringLiteral("戻しました: ") + written);
                        m_message->setVisible(true);
                    });
}
