#include "ui/FolderModel.h"

#include <QFileIconProvider>

FolderModel::FolderModel(QObject* parent) : QAbstractListModel(parent) {
    const QFileIconProvider icons;
    folderIcon_ = icons.icon(QAbstractFileIconProvider::Folder);
    fileIcon_ = icons.icon(QAbstractFileIconProvider::File);
}

void FolderModel::setFolder(const QString& folder) {
    beginResetModel();
    folder_ = folder;
    listing_ = FolderListing::read(folder);
    refilter();
    endResetModel();
}

void FolderModel::setNameFilters(const QStringList& patterns) {
    beginResetModel();
    filter_ = NameFilter(patterns);
    refilter();
    endResetModel();
}

void FolderModel::refilter() {
    files_.clear();
    if (filter_.patterns().isEmpty()) {
        files_ = listing_.files;
    } else {
        for (const QString& name : listing_.files) {
            if (filter_.matches(name)) files_ << name;
        }
    }
}

int FolderModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return int(listing_.folders.size() + files_.size());
}

const QString& FolderModel::nameAt(int row) const {
    return isFolder(row) ? listing_.folders.at(row) : files_.at(row - folderCount());
}

QString FolderModel::pathAt(int row) const {
    // The root folder's path already ends in its separator.
    return folder_.endsWith(u'/') ? folder_ + nameAt(row) : folder_ + u'/' + nameAt(row);
}

QVariant FolderModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return nameAt(index.row());
    case Qt::DecorationRole:
        return isFolder(index.row()) ? folderIcon_ : fileIcon_;
    default:
        return {};
    }
}

Qt::ItemFlags FolderModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}
