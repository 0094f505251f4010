#include "history/historypane.h"

#include "history/historyrecorder.h"
#include "platform/clock.h"
#include "platform/textcontrast.h"
#include "storage/notedocument.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSplitter>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

DifferenceStyle DifferenceStyle::forBackground(const QColor &base)
{
    // Green and red, darkened or lightened until they read as text on this background.
    const bool dark = base.lightnessF() < 0.5;
    DifferenceStyle style;
    style.added.setForeground(TextContrast::contrasting(
        dark ? QColor(0x7e, 0xe0, 0x8a) : QColor(0x1a, 0x7f, 0x37), base));
    style.added.setFontUnderline(true);
    style.removed.setForeground(TextContrast::contrasting(
        dark ? QColor(0xff, 0x8a, 0x80) : QColor(0xb3, 0x1d, 0x28), base));
    style.removed.setFontStrikeOut(true);
    return style;
}

void DifferenceStyle::render(QTextDocument &document, const QList<DiffRun> &runs) const
{
    document.clear();
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    const QTextCharFormat plain;
    for (const DiffRun &run : runs) {
        const QTextCharFormat &format = run.kind == DiffRun::Kind::added     ? added
                                        : run.kind == DiffRun::Kind::removed ? removed
                                                                             : plain;
        cursor.insertText(run.text, format);
    }
    cursor.endEditBlock();
}

namespace {

QString changeText(const HistoryVersion &version)
{
    return u'+' + QString::number(version.added) + QStringLiteral(" / −") +
           QString::number(version.removed) + QStringLiteral(" 文字");
}

} // namespace

HistoryPane::HistoryPane(HistoryRecorder &recorder, QWidget *parent)
    : QWidget(parent), m_recorder(recorder)
{
    m_message = new QLabel(this);
    m_message->setWordWrap(true);
    m_list = new QListWidget(this);
    m_list->setAccessibleName(QStringLiteral("版の一覧"));
    m_difference = new QTextBrowser(this);
    m_difference->setAccessibleName(QStringLiteral("今の本文との違い"));
    m_difference->setOpenLinks(false);
    m_restore = new QPushButton(restoreTitle, this);
    m_restore->setAccessibleName(restoreTitle);
    m_restoreAsNote = new QPushButton(restoreAsNoteTitle, this);
    m_restoreAsNote->setAccessibleName(restoreAsNoteTitle);

    auto *splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(m_list);
    splitter->addWidget(m_difference);
    splitter->setChildrenCollapsible(false);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_restore);
    buttons->addWidget(m_restoreAsNote);
    buttons->addStretch(1);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(m_message);
    layout->addWidget(splitter, 1);
    layout->addLayout(buttons);

    connect(m_list, &QListWidget::currentRowChanged, this, &HistoryPane::choose);
    connect(m_restore, &QPushButton::clicked, this, [this] {
        if (m_chosen)
            Q_EMIT restoreRequested(parseNoteDocument(QString::fromUtf8(*m_chosen)).body);
    });
    connect(m_restoreAsNote, &QPushButton::clicked, this, [this] {
        const int row = m_list->currentRow();
        if (m_chosen && row >= 0 && row < m_versions.size())
            Q_EMIT restoreAsNoteRequested(*m_chosen, m_versions[row].time);
    });
    connect(&m_recorder, &HistoryRecorder::recorded, this, [this](const QString &path) {
        if (path == m_path)
            refresh();
    });
    setNote({});
}

void HistoryPane::setNote(const QString &path)
{
    m_path = path;
    refresh();
}

void HistoryPane::refresh()
{
    const int request = ++m_request;
    m_chosen.reset();
    m_restore->setEnabled(false);
    m_restoreAsNote->setEnabled(false);
    if (m_path.isEmpty()) {
        showVersions({});
        m_message->setText(QStringLiteral("ノートを開くと、その履歴が表示されます"));
        return;
    }
    const QPointer<HistoryPane> self(this);
    m_recorder.versions(m_path, [self, this, request](std::optional<QList<HistoryVersion>> versions,
                                                      const QString &error) {
        if (!self || request != m_request)
            return;
        if (!versions) {
            showVersions({});
            m_message->setText(QStringLiteral("履歴を読めません: ") + error);
            return;
        }
        showVersions(*versions);
    });
}

void HistoryPane::showVersions(const QList<HistoryVersion> &versions)
{
    const QString chosenId = m_list->currentRow() >= 0 && m_list->currentRow() < m_versions.size()
                                 ? m_versions[m_list->currentRow()].id
                                 : QString();
    m_versions = versions;
    const QSignalBlocker blocker(m_list);
    m_list->clear();
    int chosenRow = -1;
    const QTimeZone zone = Clock::current().timeZone();
    for (const HistoryVersion &version : versions) {
        const QString line =
            version.time.toTimeZone(zone).toString(QStringLiteral("yyyy-MM-dd HH:mm")) +
            QStringLiteral("  ") + HistoryEvents::label(version.event) + QStringLiteral("  ") +
            changeText(version);
        m_list->addItem(line);
        if (version.id == chosenId)
            chosenRow = m_list->count() - 1;
    }
    m_message->setText(versions.isEmpty() ? QStringLiteral("このノートの履歴はまだありません")
                                          : QString());
    m_message->setVisible(!m_message->text().isEmpty());
    m_difference->clear();
    if (chosenRow >= 0) {
        m_list->setCurrentRow(chosenRow);
        choose(chosenRow);
    }
}

void HistoryPane::choose(int row)
{
    m_chosen.reset();
    m_restore->setEnabled(false);
    m_restoreAsNote->setEnabled(false);
    if (row < 0 || row >= m_versions.size())
        return;
    const int request = ++m_request;
    const QPointer<HistoryPane> self(this);
    m_recorder.text(m_path, m_versions[row].id,
                    [self, this, request](std::optional<QByteArray> text, const QString &error) {
                        if (!self || request != m_request)
                            return;
                        if (!text) {
                            m_difference->setPlainText(QStringLiteral("この版を読めません: ") +
                                                       error);
                            return;
                        }
                        m_chosen = text;
                        m_restore->setEnabled(true);
                        m_restoreAsNote->setEnabled(true);
                        showDifference();
                    });
}

void HistoryPane::showDifference()
{
    if (!m_chosen)
        return;
    const QString version = parseNoteDocument(QString::fromUtf8(*m_chosen)).body;
    const QString now = m_current ? m_current() : QString();
    // What bringing the version back would change: from the text now to the version.
    const DifferenceStyle style =
        DifferenceStyle::forBackground(m_difference->palette().color(QPalette::Base));
    style.render(*m_difference->document(), TextDiff::compare(now, version));
}

void HistoryPane::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        showDifference();
}
