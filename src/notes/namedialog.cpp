#include "notes/namedialog.h"

#include "notes/notenaming.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

NameDialog::NameDialog(Kind kind, const QString &name, QWidget *parent)
    : QDialog(parent), m_kind(kind)
{
    setWindowModality(Qt::WindowModal);
    setWindowTitle(promptText(kind));
    setFixedWidth(400);

    auto *prompt = new QLabel(promptText(kind), this);
    QFont headline = prompt->font();
    headline.setBold(true);
    prompt->setFont(headline);
    prompt->setAlignment(Qt::AlignCenter);

    m_field = new QLineEdit(name, this);
    m_field->setPlaceholderText(placeholderText(kind));
    m_field->setAccessibleName(placeholderText(kind));
    prompt->setBuddy(m_field);

    m_hint = new QLabel(unusableNameHint, this);
    QFont caption = m_hint->font();
    caption.setPointSizeF(caption.pointSizeF() * 0.85);
    m_hint->setFont(caption);
    m_hint->setStyleSheet(QStringLiteral("color: #d70015;"));
    m_hint->setAlignment(Qt::AlignCenter);
    m_hint->setWordWrap(true);

    m_cancel = new QPushButton(QStringLiteral("キャンセル"), this);
    m_cancel->setAutoDefault(false);
    m_confirm = new QPushButton(confirmText(kind), this);
    m_confirm->setDefault(true);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_confirm, &QPushButton::clicked, this, [this] {
        if (m_confirm->isEnabled())
            accept();
    });
    connect(m_field, &QLineEdit::textChanged, this, &NameDialog::nameEdited);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_confirm);
    buttons->addStretch();

    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(20);
    layout->addWidget(prompt);
    layout->addWidget(m_field);
    layout->addWidget(m_hint);
    layout->addLayout(buttons);
    nameEdited();
}

NameDialog *NameDialog::ask(Kind kind, const QString &name, QWidget *parent,
                            std::function<void(const QString &)> onConfirm)
{
    auto *dialog = new NameDialog(kind, name, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, dialog,
            [dialog, onConfirm = std::move(onConfirm)] { onConfirm(dialog->name()); });
    dialog->open();
    return dialog;
}

QString NameDialog::name() const
{
    return m_field->text();
}

void NameDialog::nameEdited()
{
    const QString entry = m_kind == Kind::newNote ? NoteNaming::newNoteFileName(name())
                                                  : NoteNaming::trimmedName(name());
    const bool tooLong = NoteNaming::isTooLong(entry);
    const bool usable = NoteNaming::isUsableName(name()) && !tooLong;
    m_confirm->setEnabled(usable);
    // Empty needs no explanation; a name refused for its characters or its length does.
    m_hint->setText(tooLong && NoteNaming::isUsableName(name()) ? NoteNaming::tooLongMessage()
                                                                : unusableNameHint);
    m_hint->setVisible(!usable && !NoteNaming::trimmedName(name()).isEmpty());
}

void NameDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // Focus once the dialog is on screen, with the part worth retyping selected: the name of a
    // new note without its ".md".
    QTimer::singleShot(100, this, [this] {
        m_field->setFocus();
        const QString text = name();
        const qsizetype keep = m_kind == Kind::newNote && text.endsWith(QStringLiteral(".md"))
                                   ? text.size() - 3
                                   : text.size();
        m_field->setSelection(0, int(keep));
    });
}

QString NameDialog::promptText(Kind kind)
{
    switch (kind) {
    case Kind::newNote:
        return QStringLiteral("新しいノートの名前を入力してください。");
    case Kind::newFolder:
        return QStringLiteral("作成するフォルダ名を入力してください。");
    case Kind::renameFolder:
        return QStringLiteral("新しいフォルダ名を入力してください。");
    }
    return {};
}

QString NameDialog::placeholderText(Kind kind)
{
    switch (kind) {
    case Kind::newNote:
        return QStringLiteral("ノート名");
    case Kind::newFolder:
        return QStringLiteral("フォルダ名");
    case Kind::renameFolder:
        return QStringLiteral("新しい名前");
    }
    return {};
}

QString NameDialog::confirmText(Kind kind)
{
    return kind == Kind::renameFolder ? QStringLiteral("OK") : QStringLiteral("作成");
}

void askToDelete(QWidget *parent, const QString &title, std::function<void()> onDelete,
                 const QString &detail)
{
    auto *box = new QMessageBox(QMessageBox::Warning, title, title, QMessageBox::NoButton, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->setInformativeText(detail.isEmpty()
                                ? QStringLiteral("この操作は取り消せません。")
                                : detail + QStringLiteral("\nこの操作は取り消せません。"));
    QPushButton *remove = box->addButton(QStringLiteral("削除"), QMessageBox::DestructiveRole);
    QPushButton *cancel = box->addButton(QStringLiteral("キャンセル"), QMessageBox::RejectRole);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    // Wide enough that the one-line message is not broken in two.
    if (auto *grid = qobject_cast<QGridLayout *>(box->layout()))
        grid->addItem(new QSpacerItem(320, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
    QObject::connect(box, &QMessageBox::finished, box,
                     [box, remove, onDelete = std::move(onDelete)] {
                         if (box->clickedButton() == remove)
                             onDelete();
                     });
    box->open();
}
