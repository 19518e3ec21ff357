#pragma once

#include <QDialog>
#include <QDir>
#include <QStringList>

class FolderModel;
class PicturePreview;
class QComboBox;
class QDialogButtonBox;
class QItemSelection;
class QLineEdit;
class QListView;
class QListWidget;
class QModelIndex;
class QToolButton;

// The file dialog behind OpenPictureDialog: the places, a folder's list with several
// files selectable, the file-name box, the file kinds and a preview beside them, and an
// accept step that takes typed names as they are, without checking that the files exist.
//
// The list is the program's own (FolderModel): a folder is read once and its names
// sorted, and a selection stays a few ranges of rows however many files it holds. The
// box shows a selection for a person to read; Open takes the files from the selection
// itself, so choosing a hundred thousand pictures costs what listing them costs.
class PictureFileDialog : public QDialog {
    Q_OBJECT
public:
    explicit PictureFileDialog(QWidget* parent);
    ~PictureFileDialog() override;

    // The paths confirmed by the last accept: the selected files in the list's order, or
    // the names typed, in their order.
    QStringList chosenPaths() const { return chosenPaths_; }

    // The file kinds' labels in their order; the first is chosen.
    void setNameFilters(const QStringList& filters);
    QStringList nameFilters() const { return filters_; }
    // Chooses a file kind by its label, matching every pattern the label names.
    void selectKind(const QString& filter);
    QString selectedNameFilter() const;

    // The folder listed (read afresh on every change of folder).
    void setDirectory(const QString& folder);
    void setDirectory(const QDir& folder) { setDirectory(folder.absolutePath()); }
    QDir directory() const;

    QLineEdit* fileNameEdit() const { return nameBox_; }
    QListView* fileList() const { return list_; }
    FolderModel* folderModel() const { return model_; }
    PicturePreview* preview() const { return preview_; }

    // The paths of the files selected in the list, in its order (folders left out).
    QStringList selectedPaths() const;
    // Whether the box shows the list's selection (rather than what was typed).
    bool boxShowsSelection() const { return boxShowsSelection_; }

    // The names in a file-name box's text: several names each in double quotes, or the
    // whole text as one name when it holds no quote.
    static QStringList typedNames(const QString& text);

    // The patterns a filter label names in its parentheses, separated by ";" or spaces.
    static QStringList patternsOf(const QString& filter);

signals:
    // The list's current item changed to this path (empty when there is none).
    void currentChanged(const QString& path);

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void enterFolder(const QString& folder);
    void goBack();
    void goForward();
    void goUp();
    void listChanged();
    void selectionChanged(const QItemSelection& selected);
    void activate(const QModelIndex& index);
    void updateNavigation();

    FolderModel* model_ = nullptr;
    QListView* list_ = nullptr;
    QListWidget* places_ = nullptr;
    QComboBox* lookIn_ = nullptr;
    QToolButton* back_ = nullptr;
    QToolButton* forward_ = nullptr;
    QToolButton* up_ = nullptr;
    QLineEdit* nameBox_ = nullptr;
    QComboBox* kinds_ = nullptr;
    QDialogButtonBox* buttons_ = nullptr;
    PicturePreview* preview_ = nullptr;

    QStringList filters_;
    QStringList backHistory_;
    QStringList forwardHistory_;
    bool boxShowsSelection_ = false;
    QStringList chosenPaths_;
};

// Where a dialog of the given size opens on a screen: centred horizontally, its top one
// third of the way down, kept inside the screen.
QPoint dialogPosition(const QRect& screen, const QSize& dialog);
