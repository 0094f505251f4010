#include "app/statusbarview.h"

#include "editor/memoeditorview.h"
#include "platform/clock.h"

#include <QEvent>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>

StatusBarView::StatusBarView(EditorLiveState &live, QWidget *parent) : QWidget(parent)
{
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
    setFixedHeight(22);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(8, 0, 8, 0);
    row->setSpacing(16);
    m_notice = addPiece();
    m_notice->setObjectName(QStringLiteral("statusNotice"));
    m_index = addPiece();
    m_index->setObjectName(QStringLiteral("indexState"));
    m_file = addPiece();
    m_base = addPiece();
    m_date = addPiece();
    m_cursor = addPiece();
    // Digits of equal width keep the caret position from jittering while typing.
    QFont cursorFont = m_cursor->font();
    cursorFont.setFamilies({QFontDatabase::systemFont(QFontDatabase::FixedFont).family()});
    m_cursor->setFont(cursorFont);
    row->addWidget(m_notice);
    row->addWidget(m_index);
    row->addWidget(m_file, 1);
    row->addWidget(m_base, 1);
    row->addWidget(m_date);
    row->addWidget(m_cursor);
    m_date->hide();
    m_notice->hide();
    m_index->hide();

    setFilePath(QString());
    setBaseFolderPath(QString());
    showCursor(live.cursorInfo());
    connect(&live, &EditorLiveState::cursorInfoChanged, this, &StatusBarView::showCursor);
}

QLabel *StatusBarView::addPiece()
{
    auto *label = new QLabel(this);
    QFont font = label->font();
    font.setPointSize(9);
    font.setWeight(QFont::Medium);
    label->setFont(font);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setMinimumWidth(0);
    return label;
}

void StatusBarView::setFilePath(const QString &path)
{
    m_file->setText(QStringLiteral("ファイルパス: ") + path);
    m_file->setToolTip(path);
    m_file->setAccessibleName(m_file->text());
}

void StatusBarView::setBaseFolderPath(const QString &path)
{
    m_base->setText(QStringLiteral("ベースフォルダ: ") + path);
    m_base->setToolTip(path);
    m_base->setAccessibleName(m_base->text());
}

void StatusBarView::setModificationDate(const QDateTime &date)
{
    const QString text = formatModificationDate(date);
    m_date->setVisible(!text.isEmpty());
    m_date->setText(QStringLiteral("更新日時: ") + text);
    m_date->setAccessibleName(m_date->text());
}

void StatusBarView::setNotice(const QString &text, bool alert)
{
    m_notice->setText(text);
    m_notice->setAccessibleName(text);
    m_notice->setToolTip(text);
    m_noticeIsAlert = alert;
    refreshNoticeColor();
    m_notice->setVisible(!text.isEmpty());
}

void StatusBarView::refreshNoticeColor()
{
    QPalette palette = m_notice->palette();
    palette.setColor(QPalette::WindowText, m_noticeIsAlert
                                               ? MessageColors::color(true, this->palette())
                                               : this->palette().color(QPalette::WindowText));
    m_notice->setPalette(palette);
}

void StatusBarView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // Also while the constructor sets the background, before the notice exists.
    if (event->type() == QEvent::PaletteChange && m_notice)
        refreshNoticeColor();
}

void StatusBarView::setIndexState(const QString &text)
{
    m_index->setText(text);
    m_index->setAccessibleName(text);
    m_index->setVisible(!text.isEmpty());
}

QString StatusBarView::indexState() const
{
    return m_index->text();
}

QString StatusBarView::notice() const
{
    return m_notice->text();
}

QString StatusBarView::formatModificationDate(const QDateTime &date)
{
    if (!date.isValid())
        return QString();
    const QDateTime local = date.toTimeZone(Clock::current().timeZone());
    return QLocale(QLocale::Japanese, QLocale::Japan)
        .toString(local, QStringLiteral("yyyy年M月d日(ddd) H:mm:ss"));
}

QString StatusBarView::cursorText(const EditorCursorInfo &info)
{
    const QString separator = QStringLiteral("  ・  ");
    QString text = QStringLiteral("行 ") + QString::number(info.line) + QStringLiteral(", 列 ") +
                   QString::number(info.column);
    if (info.selectionLength >= 1)
        text += separator + QStringLiteral("選択 ") + QString::number(info.selectionLength) +
                QStringLiteral(" 文字");
    text += separator + QStringLiteral("全 ") + QString::number(info.totalLength) +
            QStringLiteral(" 文字");
    return text;
}

void StatusBarView::showCursor(const EditorCursorInfo &info)
{
    m_cursor->setText(cursorText(info));
    m_cursor->setAccessibleName(m_cursor->text());
}
