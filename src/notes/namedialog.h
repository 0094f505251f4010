#pragma once

#include <QDialog>
#include <QString>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

/// A small window-modal dialog asking for one name: a new note, a new folder, or a folder's
/// new name. The confirm button stays disabled while the name cannot be used (empty, with a
/// "/", a control character or a leading ".", or longer than a file system takes, a new note's
/// ".md" included), with a hint that says why; Return confirms like the button, Escape cancels.
/// The dialog does not change the name it hands back; the owner trims it.
class NameDialog : public QDialog
{
    Q_OBJECT

public:
    enum class Kind { newNote, newFolder, renameFolder };

    static inline const QString unusableNameHint =
        QStringLiteral("「/」や制御文字を含む名前、「.」で始まる名前は使えません。");

    NameDialog(Kind kind, const QString &name, QWidget *parent);

    /// Opens a dialog over `parent`; `onConfirm` gets the name when the user confirms. The dialog
    /// deletes itself when closed.
    static NameDialog *ask(Kind kind, const QString &name, QWidget *parent,
                           std::function<void(const QString &name)> onConfirm);

    QString name() const;
    QLineEdit *nameField() const { return m_field; }
    QPushButton *confirmButton() const { return m_confirm; }

    static QString promptText(Kind kind);
    static QString placeholderText(Kind kind);
    static QString confirmText(Kind kind);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void nameEdited();

    Kind m_kind;
    QLineEdit *m_field = nullptr;
    QLabel *m_hint = nullptr;
    QPushButton *m_confirm = nullptr;
    QPushButton *m_cancel = nullptr;
};

/// Opens the window-modal question before a permanent deletion: `title`, the message
/// "この操作は取り消せません。", "削除" and "キャンセル" (the default). `onDelete` runs only
/// when "削除" is chosen.
void askToDelete(QWidget *parent, const QString &title, std::function<void()> onDelete,
                 const QString &detail = {});
