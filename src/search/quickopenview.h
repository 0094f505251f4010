#pragma once

#include <QWidget>

class QFrame;
class QLabel;
class QLineEdit;
class QListView;
class QuickOpenController;
class QuickOpenModel;

/// The quick-open palette: a 600 × 400 panel over the window with a query field, the matching
/// notes and a footer. Up and Down move the selection (wrapping around), Return or a click
/// opens the selected note, Escape or a click beside the panel closes it.
class QuickOpenView : public QWidget
{
    Q_OBJECT

public:
    static constexpr QSize paletteSize{600, 400};

    /// Shows the palette over `window`, gathering the notes of the base folder; when one is
    /// already open there, that one is returned. The palette deletes itself once closed.
    static QuickOpenView *open(QWidget *window);

    QuickOpenController &controller() const { return *m_controller; }
    QLineEdit *queryField() const { return m_query; }
    QListView *list() const { return m_list; }

    /// Opens the selected entry: closes the palette, then emits fileChosen. Nothing happens
    /// when the list is empty.
    void openSelected();
    /// Closes without opening anything.
    void dismiss();

Q_SIGNALS:
    /// Emitted after the palette has closed: open this file.
    void fileChosen(const QString &filePath);
    /// The palette closed, with or without a choice.
    void closed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    explicit QuickOpenView(QWidget *window);
    void buildLayout();
    void applyColors();
    void place();
    void showList();
    void showSelection(qsizetype row);
    void finish();

    QWidget *m_window;
    QuickOpenController *m_controller;
    QWidget *m_panel = nullptr;
    QLineEdit *m_query = nullptr;
    QListView *m_list = nullptr;
    QuickOpenModel *m_model = nullptr;
    QLabel *m_count = nullptr;
    QLabel *m_magnifier = nullptr;
    QList<QLabel *> m_captions;
    QList<QFrame *> m_dividers;
    bool m_closing = false;
};
