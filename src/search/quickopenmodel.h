#pragma once

#include <QAbstractListModel>

class QuickOpenController;

/// The entries the quick-open controller shows, one row each, named by what they show: the file
/// name, and the folder label as the row's Qt::UserRole.
class QuickOpenModel : public QAbstractListModel
{
    Q_OBJECT

public:
    QuickOpenModel(QuickOpenController &controller, QObject *parent);

    /// Tells the views that the controller's entries were replaced.
    void reset();

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

private:
    /// Whether `index` is a row of this model as it is now.
    bool isListed(const QModelIndex &index) const;

    QuickOpenController &m_controller;
};
