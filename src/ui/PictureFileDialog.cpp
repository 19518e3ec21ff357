#include "ui/PictureFileDialog.h"

#include <QComboBox>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QShowEvent>
#include <QSplitter>
#include <QStandardPaths>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <algorithm>
#include <array>
#include <limits>

#include "ui/FolderModel.h"
#include "ui/ListSelection.h"
#include "ui/PicturePreview.h"

namespace {

constexpr int kWidestItem = 320;

// The row whose name takes the most room in this font, by the advances of its characters
// (looked up in a table for the first 256): a few milliseconds for 100,000 names, where
// laying each name out would take a hundred times that.
int widestRow(const FolderModel& model, const QFontMetrics& metrics) {
    std::array<int, 256> advances{};
    for (size_t c = 0; c < advances.size(); ++c) advances[c] = metrics.horizontalAdvance(QChar(char16_t(c)));
    int widest = 0, widestWidth = -1;
    for (int row = 0; row < model.rowCount(); ++row) {
        int width = 0;
        for (const QChar c : model.nameAt(row)) {
            width += c.unicode() < advances.size() ? advances[c.unicode()] : metrics.horizontalAdvance(c);
        }
        if (width > widestWidth) widest = row, widestWidth = width;
    }
    return widest;
}

// Every item of the list as wide as the widest name (up to a limit; longer names are cut
// in the middle): the list lays out its items by one size, asked once, instead of
// measuring every name.
class UniformItemDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const auto* model = qobject_cast<const FolderModel*>(index.model());
        const QModelIndex widest = model ? model->index(widestRow(*model, option.fontMetrics)) : index;
        QSize size = QStyledItemDelegate::sizeHint(option, widest);
        size.setWidth(std::min(size.width(), kWidestItem));
        return size;
    }
};

QToolButton* navigationButton(QStyle::StandardPixmap icon, const QString& tip, const char* name, QWidget* owner) {
    auto* button = new QToolButton(owner);
    button->setObjectName(QString::fromLatin1(name));
    button->setIcon(owner->style()->standardIcon(icon, nullptr, owner));
    button->setToolTip(tip);
    button->setAutoRaise(true);
    return button;
}

// The folder above, or the same folder at the top.
QString parentOf(const QString& folder) {
    const QString parent = QFileInfo(folder).path();
    return parent.isEmpty() ? folder : parent;
}

QString cleanFolder(const QString& folder) { return QDir::cleanPath(QDir(folder).absolutePath()); }

}  // namespace

PictureFileDialog::PictureFileDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Open"));
    setSizeGripEnabled(true);
    model_ = new FolderModel(this);
    buildControls();
    resize(880, 500);
}

PictureFileDialog::~PictureFileDialog() = default;

void PictureFileDialog::buildControls() {
    const QFileIconProvider icons;

    auto* lookInLabel = new QLabel(tr("Look in:"), this);
    lookInLabel->setObjectName(QStringLiteral("lookInLabel"));
    lookIn_ = new QComboBox(this);
    lookIn_->setObjectName(QStringLiteral("lookInCombo"));
    lookIn_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    lookInLabel->setBuddy(lookIn_);
    back_ = navigationButton(QStyle::SP_ArrowBack, tr("Back"), "backButton", this);
    forward_ = navigationButton(QStyle::SP_ArrowForward, tr("Forward"), "forwardButton", this);
    up_ = navigationButton(QStyle::SP_FileDialogToParent, tr("Parent Directory"), "toParentButton", this);

    // The places: the whole file system, the home folder and the usual folders in it.
    places_ = new QListWidget(this);
    places_->setObjectName(QStringLiteral("sidebar"));
    const auto addPlace = [&](const QString& label, const QString& path, const QIcon& icon) {
        auto* item = new QListWidgetItem(icon, label, places_);
        item->setData(Qt::UserRole, path);
        item->setToolTip(path);
    };
    addPlace(tr("Computer"), QDir::rootPath(), icons.icon(QAbstractFileIconProvider::Computer));
    const QString home = cleanFolder(QDir::homePath());
    addPlace(QFileInfo(home).fileName().isEmpty() ? home : QFileInfo(home).fileName(), home,
             icons.icon(QAbstractFileIconProvider::Folder));
    for (const auto location : {QStandardPaths::DesktopLocation, QStandardPaths::DocumentsLocation,
                                QStandardPaths::PicturesLocation}) {
        const QString path = cleanFolder(QStandardPaths::writableLocation(location));
        if (path != home && QFileInfo(path).isDir())
            addPlace(QStandardPaths::displayName(location), path, icons.icon(QAbstractFileIconProvider::Folder));
    }

    list_ = new QListView(this);
    list_->setObjectName(QStringLiteral("listView"));
    list_->setViewMode(QListView::ListMode);
    list_->setFlow(QListView::TopToBottom);
    list_->setWrapping(true);
    list_->setResizeMode(QListView::Adjust);
    list_->setUniformItemSizes(true);
    const int iconSide = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, list_);
    list_->setIconSize(QSize(iconSide, iconSide));
    list_->setTextElideMode(Qt::ElideMiddle);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setItemDelegate(new UniformItemDelegate(list_));
    list_->setModel(model_);
    list_->installEventFilter(this);

    auto* splitter = new QSplitter(this);
    splitter->setObjectName(QStringLiteral("splitter"));
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(places_);
    splitter->addWidget(list_);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({110, 530});

    auto* nameLabel = new QLabel(tr("File &name:"), this);
    nameLabel->setObjectName(QStringLiteral("fileNameLabel"));
    nameBox_ = new QLineEdit(this);
    nameBox_->setObjectName(QStringLiteral("fileNameEdit"));
    nameLabel->setBuddy(nameBox_);
    // Typed names have no limit either (a line edit holds 32767 characters unless told).
    nameBox_->setMaxLength(std::numeric_limits<int>::max());
    auto* completer = new QCompleter(model_, this);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    // Its list of names that fit what is typed, laid out by one item's size (a folder of
    // 100,000 pictures may offer them all).
    auto* completions = new QListView;
    completions->setUniformItemSizes(true);
    completions->setEditTriggers(QAbstractItemView::NoEditTriggers);
    completions->setSelectionBehavior(QAbstractItemView::SelectRows);
    completions->setSelectionMode(QAbstractItemView::SingleSelection);
    completions->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    completer->setPopup(completions);
    nameBox_->setCompleter(completer);

    auto* kindsLabel = new QLabel(tr("Files of type:"), this);
    kindsLabel->setObjectName(QStringLiteral("fileTypeLabel"));
    kinds_ = new QComboBox(this);
    kinds_->setObjectName(QStringLiteral("fileTypeCombo"));
    kinds_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    kindsLabel->setBuddy(kinds_);

    buttons_ = new QDialogButtonBox(QDialogButtonBox::Open | QDialogButtonBox::Cancel, Qt::Vertical, this);
    buttons_->setObjectName(QStringLiteral("buttonBox"));
    buttons_->button(QDialogButtonBox::Open)->setDefault(true);

    preview_ = new PicturePreview(this);
    preview_->setObjectName(QStringLiteral("picturePreview"));

    auto* navigation = new QHBoxLayout;
    navigation->setContentsMargins(0, 0, 0, 0);
    for (QToolButton* button : {back_, forward_, up_}) navigation->addWidget(button);

    auto* grid = new QGridLayout(this);
    grid->addWidget(lookInLabel, 0, 0);
    grid->addWidget(lookIn_, 0, 1);
    grid->addLayout(navigation, 0, 2);
    grid->addWidget(splitter, 1, 0, 1, 3);
    grid->addWidget(nameLabel, 2, 0);
    grid->addWidget(nameBox_, 2, 1);
    grid->addWidget(kindsLabel, 3, 0);
    grid->addWidget(kinds_, 3, 1);
    grid->addWidget(buttons_, 2, 2, 2, 1);
    grid->addWidget(preview_, 0, 3, 4, 1);
    grid->setRowStretch(1, 1);
    grid->setColumnStretch(1, 1);

    // From the box, Shift+Tab goes back to the list.
    setTabOrder(lookIn_, back_);
    setTabOrder(back_, forward_);
    setTabOrder(forward_, up_);
    setTabOrder(up_, places_);
    setTabOrder(places_, list_);
    setTabOrder(list_, nameBox_);
    setTabOrder(nameBox_, kinds_);
    setTabOrder(kinds_, buttons_);
    nameBox_->setFocus();

    QItemSelectionModel* selection = list_->selectionModel();
    connect(selection, &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected) { selectionChanged(selected); });
    connect(selection, &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
        emit currentChanged(current.isValid() ? model_->pathAt(current.row()) : QString());
    });
    connect(this, &PictureFileDialog::currentChanged, preview_, &PicturePreview::showFile);
    connect(list_, &QListView::doubleClicked, this, &PictureFileDialog::activate);
    // What the user types is what the box holds from then on.
    connect(nameBox_, &QLineEdit::textEdited, this, [this] { boxShowsSelection_ = false; });
    connect(kinds_, &QComboBox::currentIndexChanged, this, [this] {
        model_->setNameFilters(patternsOf(kinds_->currentText()));
        listChanged();
    });
    connect(lookIn_, &QComboBox::activated, this, [this](int index) { enterFolder(lookIn_->itemData(index).toString()); });
    const auto enterPlace = [this](QListWidgetItem* item) { enterFolder(item->data(Qt::UserRole).toString()); };
    connect(places_, &QListWidget::itemClicked, this, enterPlace);
    connect(places_, &QListWidget::itemActivated, this, enterPlace);
    connect(back_, &QToolButton::clicked, this, &PictureFileDialog::goBack);
    connect(forward_, &QToolButton::clicked, this, &PictureFileDialog::goForward);
    connect(up_, &QToolButton::clicked, this, &PictureFileDialog::goUp);
    connect(buttons_, &QDialogButtonBox::accepted, this, &PictureFileDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void PictureFileDialog::setNameFilters(const QStringList& filters) {
    filters_ = filters;
    const QSignalBlocker quiet(kinds_);
    kinds_->clear();
    kinds_->addItems(filters);
    kinds_->setCurrentIndex(0);
    model_->setNameFilters(filters.isEmpty() ? QStringList() : patternsOf(filters.first()));
    listChanged();
}

void PictureFileDialog::selectKind(const QString& filter) {
    const int index = kinds_->findText(filter);
    if (index >= 0) kinds_->setCurrentIndex(index);
}

QString PictureFileDialog::selectedNameFilter() const { return kinds_->currentText(); }

QStringList PictureFileDialog::patternsOf(const QString& filter) {
    const qsizetype open = filter.lastIndexOf(u'(');
    const qsizetype close = filter.lastIndexOf(u')');
    if (open < 0 || close < open) return {filter.trimmed()};
    static const QRegularExpression separators(QStringLiteral("[; ]+"));
    return filter.mid(open + 1, close - open - 1).split(separators, Qt::SkipEmptyParts);
}

void PictureFileDialog::setDirectory(const QString& folder) {
    const QString clean = cleanFolder(folder);
    model_->setFolder(clean);
    lookIn_->clear();
    const QIcon folderIcon = QFileIconProvider().icon(QAbstractFileIconProvider::Folder);
    for (QString path = clean;; path = parentOf(path)) {
        lookIn_->addItem(folderIcon, QDir::toNativeSeparators(path), path);
        if (parentOf(path) == path) break;
    }
    listChanged();
    updateNavigation();
}

QDir PictureFileDialog::directory() const { return QDir(model_->folder()); }

void PictureFileDialog::enterFolder(const QString& folder) {
    const QString clean = cleanFolder(folder);
    if (clean == model_->folder()) return;
    backHistory_ << model_->folder();
    forwardHistory_.clear();
    setDirectory(clean);
}

void PictureFileDialog::goBack() {
    if (backHistory_.isEmpty()) return;
    forwardHistory_.prepend(model_->folder());
    setDirectory(backHistory_.takeLast());
}

void PictureFileDialog::goForward() {
    if (forwardHistory_.isEmpty()) return;
    backHistory_ << model_->folder();
    setDirectory(forwardHistory_.takeFirst());
}

void PictureFileDialog::goUp() { enterFolder(parentOf(model_->folder())); }

void PictureFileDialog::updateNavigation() {
    const QString folder = model_->folder();
    back_->setEnabled(!backHistory_.isEmpty());
    forward_->setEnabled(!forwardHistory_.isEmpty());
    up_->setEnabled(parentOf(folder) != folder);
    const QSignalBlocker quiet(places_);
    places_->clearSelection();
    for (int row = 0; row < places_->count(); ++row) {
        if (places_->item(row)->data(Qt::UserRole).toString() == folder) places_->setCurrentRow(row);
    }
}

// The list was read or filtered afresh: its selection is gone (without a signal), and
// with it what the box showed of it.
void PictureFileDialog::listChanged() {
    if (boxShowsSelection_) nameBox_->clear();
    boxShowsSelection_ = false;
    preview_->clear();
}

void PictureFileDialog::selectionChanged(const QItemSelection& selected) {
    QItemSelectionModel* selection = list_->selectionModel();
    const std::vector<RowSpan> spans = rowSpans(selection->selection());
    const std::vector<RowSpan> files = spansFrom(spans, model_->folderCount());
    const qsizetype fileCount = rowCountOf(files);
    if (fileCount > 0) {
        QStringList first;
        for (const RowSpan& span : files) {
            for (int row = span.first; row <= span.last && first.size() < kSummaryNames; ++row)
                first << model_->nameAt(row);
        }
        nameBox_->setText(selectionSummary(first, fileCount));
        boxShowsSelection_ = true;
    } else {
        // A single folder is named (Open then enters it); anything else leaves the box empty.
        const bool oneFolder = spans.size() == 1 && spans.front().count() == 1;
        nameBox_->setText(oneFolder ? model_->nameAt(spans.front().first) : QString());
        boxShowsSelection_ = false;
    }

    // A selection made without moving the current item (Ctrl+A, a rubber band) still
    // shows the file last added to it.
    const QModelIndex current = selection->currentIndex();
    if (current.isValid() && selection->isSelected(current)) return;
    if (selected.isEmpty()) return;
    const int row = selected.last().bottom();
    if (!model_->isFolder(row)) preview_->showFile(model_->pathAt(row));
}

QStringList PictureFileDialog::selectedPaths() const {
    const std::vector<RowSpan> files = spansFrom(rowSpans(list_->selectionModel()->selection()), model_->folderCount());
    QStringList paths;
    paths.reserve(rowCountOf(files));
    for (const RowSpan& span : files) {
        for (int row = span.first; row <= span.last; ++row) paths << model_->pathAt(row);
    }
    return paths;
}

void PictureFileDialog::activate(const QModelIndex& index) {
    if (!index.isValid()) return;
    if (model_->isFolder(index.row())) {
        enterFolder(model_->pathAt(index.row()));
    } else {
        accept();
    }
}

// In the list, Enter opens the selected files, or enters the current folder when no file
// is selected; Backspace goes up a folder.
bool PictureFileDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched != list_ || event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) return false;
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        const QModelIndex current = list_->currentIndex();
        if (!boxShowsSelection_ && current.isValid() && model_->isFolder(current.row())) {
            enterFolder(model_->pathAt(current.row()));
        } else {
            accept();
        }
        return true;
    }
    if (key->key() == Qt::Key_Backspace) {
        goUp();
        return true;
    }
    return false;
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
    QStringList paths;
    if (boxShowsSelection_) {
        // The files themselves, however many: the box only tells how many there are.
        paths = selectedPaths();
    } else {
        const QDir folder = directory();
        for (const QString& name : typedNames(nameBox_->text())) paths << QDir::cleanPath(folder.absoluteFilePath(name));
        // One name of a folder opens that folder, as in any file dialog.
        if (paths.size() == 1 && QFileInfo(paths.first()).isDir()) {
            enterFolder(paths.first());
            nameBox_->clear();
            return;
        }
    }
    if (paths.isEmpty()) return;
    chosenPaths_ = paths;
    QDialog::accept();
}

void PictureFileDialog::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        QWidget* anchor = parentWidget() ? parentWidget()->window() : nullptr;
        QScreen* screen = anchor ? anchor->screen() : this->screen();
        if (screen) move(dialogPosition(screen->geometry(), size()));
        nameBox_->setFocus();
    }
    QDialog::showEvent(event);
}

QPoint dialogPosition(const QRect& screen, const QSize& dialog) {
    const int x = screen.left() + (screen.width() - dialog.width()) / 2;
    int y = screen.top() + screen.height() / 3;
    // A tall dialog moves up rather than past the screen's bottom edge.
    y = std::max(screen.top(), std::min(y, screen.top() + screen.height() - dialog.height()));
    return QPoint(std::max(screen.left(), x), y);
}
