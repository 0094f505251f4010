#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QListView;
class QListWidget;
class QPushButton;
class QAction;
class SearchController;
class SearchResultDelegate;
class SearchResultModel;

/// The search page: the keyword field, "検索" and "クリア", the summary, the result list, and
/// the keyword history while the field is empty. The logic is SearchController's; this only
/// shows it and forwards what the user does.
class SearchView : public QWidget
{
    Q_OBJECT

public:
    explicit SearchView(QWidget *parent = nullptr);
    ~SearchView() override;

    /// The file open in the editor; its row is tinted. Empty for none.
    void setSelectedFile(const QString &filePath);

    SearchController &controller() const { return *m_controller; }

Q_SIGNALS:
    /// Open this file (a result row was chosen, or a search opened its newest hit).
    void hitSelected(const QString &filePath);
    /// The search was cleared.
    void cleared();

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildLayout();
    void connectController();
    void showKeyword(const QString &keyword);
    void showResults();
    void showHistory();
    void applyListFontSize();
    void focusKeywordField();

    SearchController *m_controller = nullptr;
    QLineEdit *m_keywordField = nullptr;
    QAction *m_fieldClearAction = nullptr;
    QPushButton *m_searchButton = nullptr;
    QPushButton *m_clearButton = nullptr;
    QLabel *m_summary = nullptr;
    QWidget *m_resultsSection = nullptr;
    QListView *m_resultList = nullptr;
    SearchResultModel *m_resultModel = nullptr;
    SearchResultDelegate *m_resultDelegate = nullptr;
    QWidget *m_historySection = nullptr;
    QListWidget *m_historyList = nullptr;
    QPushButton *m_clearHistoryButton = nullptr;
};
