#include "ui/PictureFileDialog.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QLineEdit>
#include <QListView>
#include <QRegularExpression>
#include <QScreen>
#include <QShowEvent>
#include <QTreeView>
#include <limits>

#include "ui/PicturePreview.h"

PictureFileDialog::PictureFileDialog(QWidget* parent) : QFileDialog(parent) {
    // Qt's own dialog: there may be no desktop whose dialog could be used, and the preview
    // needs the dialog's layout.
    setOption(QFileDialog::DontUseNativeDialog, true);
    setAcceptMode(QFileDialog::AcceptOpen);
    // Any file: typed names come back even when no such file exists (they fail when
    // loaded). The views still allow several files to be selected.
    setFileMode(QFileDialog::AnyFile);
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(findChild<QListView*>(QStringLiteral("listView"))),
                                    static_cast<QAbstractItemView*>(findChild<QTreeView*>(QStringLiteral("treeView")))}) {
        if (view) view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    }
    setSizeGripEnabled(true);
    // A selection of thousands of files is one series: the box must hold all their names.
    if (QLineEdit* edit = fileNameEdit()) edit->setMaxLength(std::numeric_limits<int>::max());

    preview_ = new PicturePreview(this);
    preview_->setObjectName(QStringLiteral("picturePreview"));
    if (auto* grid = qobject_cast<QGridLayout*>(layout())) {
        grid->addWidget(preview_, 0, grid->columnCount(), grid->rowCount(), 1);
    } else if (layout()) {
        layout()->addWidget(preview_);
    }
    connect(this, &QFileDialog::currentChanged, preview_, &PicturePreview::showFile);
    // A selection made without moving the current item (a typed name, a rubber band)
    // still shows the file last added to it.
    if (auto* list = findChild<QListView*>(QStringLiteral("listView")); list && list->selectionModel()) {
        connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                [this, list](const QItemSelection& selected) {
                    const QModelIndex current = list->selectionModel()->currentIndex();
                    if (current.isValid() && list->selectionModel()->isSelected(current)) return;
                    const QModelIndexList added = selected.indexes();
                    if (added.isEmpty()) return;
                    auto* model = qobject_cast<QFileSystemModel*>(list->model());
                    if (model) preview_->showFile(model->filePath(added.last()));
                });
    }
    resize(880, 500);

    // Qt splits a filter's patterns at spaces only; the "All" entry joins its patterns
    // with semicolons, so the list's name filters are set here after Qt has set its own.
    if (auto* kinds = findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
        connect(kinds, &QComboBox::textActivated, this, &PictureFileDialog::applyNameFilter);
    }
}

QLineEdit* PictureFileDialog::fileNameEdit() const {
    return findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
}

void PictureFileDialog::selectKind(const QString& filter) {
    selectNameFilter(filter);
    applyNameFilter(selectedNameFilter());
}

void PictureFileDialog::applyNameFilter(const QString& filter) {
    if (auto* model = findChild<QFileSystemModel*>(QStringLiteral("qt_filesystem_model"))) {
        model->setNameFilters(patternsOf(filter));
    }
}

QStringList PictureFileDialog::patternsOf(const QString& filter) {
    const qsizetype open = filter.lastIndexOf(u'(');
    const qsizetype close = filter.lastIndexOf(u')');
    if (open < 0 || close < open) return {filter.trimmed()};
    static const QRegularExpression separators(QStringLiteral("[; ]+"));
    return filter.mid(open + 1, close - open - 1).split(separators, Qt::SkipEmptyParts);
}

QStringList PictureFileDialog::typedNames(const QString& text) {
    if (!text.contains(u'"')) {
        const QString name = text.trimmed();
        return name.isEmpty() ? QStringList() : QStringList{name};
    }
    // "one" "two" "three": every odd piece between quotes is a name.
    QStringList names;
    const QStringList pieces = text.split(u'"');
    for (qsizetype i = 1; i < pieces.size(); i += 2) {
        if (!pieces[i].isEmpty()) names << pieces[i];
    }
    return names;
}

void PictureFileDialog::accept() {
    QLineEdit* edit = fileNameEdit();
    const QStringList names = typedNames(edit ? edit->text() : QString());
    if (names.isEmpty()) return;

    const QDir folder = directory();
    QStringList paths;
    paths.reserve(names.size());
    for (const QString& name : names) paths << QDir::cleanPath(folder.absoluteFilePath(name));

    // One name of a folder opens that folder, as in any file dialog.
    if (paths.size() == 1 && QFileInfo(paths.first()).isDir()) {
        setDirectory(paths.first());
        edit->clear();
        return;
    }
    chosenPaths_ = paths;
    // QFileDialog::accept would refuse names of files that don't exist.
    QDialog::accept();
}

void PictureFileDialog::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        QWidget* anchor = parentWidget() ? parentWidget()->window() : nullptr;
        QScreen* screen = anchor ? anchor->screen() : this->screen();
        if (screen) move(dialogPosition(screen->geometry(), size()));
    }
    QFileDialog::showEvent(event);
}

QPoint dialogPosition(const QRect& screen, const QSize& dialog) {
    const int x = screen.left() + (screen.width() - dialog.width()) / 2;
    int y = screen.top() + screen.height() / 3;
    // A tall dialog moves up rather than past the screen's bottom edge.
    y = std::max(screen.top(), std::min(y, screen.top() + screen.height() - dialog.height()));
    return QPoint(std::max(screen.left(), x), y);
}
