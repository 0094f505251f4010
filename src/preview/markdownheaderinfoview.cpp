#include "preview/markdownheaderinfoview.h"

#include "preview/previewstyle.h"

#include <QApplication>
#include <QLabel>
#include <QScrollArea>
#include <QStackedLayout>
#include <QVBoxLayout>

namespace {

QLabel *secondaryLabel(const QString &text, const QFont &font, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setFont(font);
    label->setWordWrap(true);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

} // namespace

MarkdownHeaderInfoView::MarkdownHeaderInfoView(QWidget *parent) : QWidget(parent)
{
    m_noDocument = new QLabel(noDocumentText, this);
    m_noDocument->setAlignment(Qt::AlignCenter);
    m_noDocument->setForegroundRole(QPalette::PlaceholderText);

    auto *scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_sections = new QWidget(scroll);
    m_sectionsLayout = new QVBoxLayout(m_sections);
    m_sectionsLayout->setContentsMargins(16, 16, 16, 16);
    m_sectionsLayout->setSpacing(16);
    scroll->setWidget(m_sections);

    m_stack = new QStackedLayout(this);
    m_stack->setContentsMargins(0, 0, 0, 0);
    m_stack->addWidget(m_noDocument);
    m_stack->addWidget(scroll);
    rebuild();
}

void MarkdownHeaderInfoView::setInfo(const QString &yaml, bool isPending, const QString &joplinYAML,
                                     bool hasDocument)
{
    if (yaml == m_yaml && isPending == m_pending && joplinYAML == m_joplinYAML &&
        hasDocument == m_hasDocument)
        return;
    m_yaml = yaml;
    m_pending = isPending;
    m_joplinYAML = joplinYAML;
    m_hasDocument = hasDocument;
    rebuild();
}

void MarkdownHeaderInfoView::setFontSize(int fontSize)
{
    if (fontSize <= 0 || fontSize == m_fontSize)
        return;
    m_fontSize = fontSize;
    rebuild();
}

QStringList MarkdownHeaderInfoView::sectionTitles() const
{
    QStringList titles;
    if (!m_hasDocument)
        return titles;
    for (const QLabel *label : m_sections->findChildren<QLabel *>()) {
        if (label->property("sectionTitle").toBool())
            titles.append(label->text());
    }
    return titles;
}

void MarkdownHeaderInfoView::rebuild()
{
    if (!m_hasDocument) {
        m_stack->setCurrentWidget(m_noDocument);
        return;
    }
    while (QLayoutItem *item = m_sectionsLayout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    auto addSection = [this](const QString &title, const QString &yaml, bool pending) {
        auto *section = new QWidget(m_sections);
        auto *layout = new QVBoxLayout(section);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(8);
        QFont headline = QApplication::font();
        headline.setBold(true);
        headline.setPointSizeF(headline.pointSizeF() + 1);
        auto *heading = new QLabel(title, section);
        heading->setFont(headline);
        heading->setProperty("sectionTitle", true);
        layout->addWidget(heading);
        if (pending)
            layout->addWidget(
                secondaryLabel(pendingNote, PreviewStyle::font(m_fontSize * 0.9), section));
        auto *text = new QLabel(yaml, section);
        text->setTextFormat(Qt::PlainText);
        text->setFont(PreviewStyle::monospaceFont(m_fontSize));
        text->setWordWrap(true);
        text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        layout->addWidget(text);
        m_sectionsLayout->addWidget(section);
    };
    addSection(QStringLiteral("Obsidian"), m_yaml, m_pending);
    if (!m_joplinYAML.isEmpty())
        addSection(QStringLiteral("Joplin"), m_joplinYAML, false);
    m_sectionsLayout->addStretch(1);
    m_stack->setCurrentIndex(1);
}
