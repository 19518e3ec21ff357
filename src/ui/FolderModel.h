#pragma once

#include <QAbstractListModel>
#include <QIcon>
#include <QStringList>

#include "ui/FolderListing.h"

// The open dialog's list: one folder's sub-folders, then its files that match the chosen
// kind's patterns, each part in natural order. Rows are only names: every folder has one
// icon and every file another, so nothing is asked of the file system per row.
class FolderModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit FolderModel(QObject* parent = nullptr);

    // Lists a folder afresh; the patterns stay.
    void setFolder(const QString& folder);
    QString folder() const { return folder_; }

    // The patterns files must match (every file when there are none).
    void setNameFilters(const QStringList& patterns);
    QStringList nameFilters() const { return filter_.patterns(); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Rows [0, folderCount()) are folders, the rest files.
    int folderCount() const { return int(listing_.folders.size()); }
    bool isFolder(int row) const { return row < folderCount(); }
    const QString& nameAt(int row) const;
    QString pathAt(int row) const;

private:
    void refilter();

    QString folder_;
    FolderListing listing_;
    NameFilter filter_;
    QStringList files_;  // the listed files that match
    QIcon folderIcon_;
    QIcon fileIcon_;
};
