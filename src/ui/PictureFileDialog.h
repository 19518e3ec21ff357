#pragma once

#include <QFileDialog>
#include <QStringList>

class QLineEdit;
class PicturePreview;

// The file dialog behind OpenPictureDialog: Qt's own (non-native) dialog with several
// files selectable in its list, a preview beside the list, and an accept step that takes
// typed names as they are, without checking that the files exist.
class PictureFileDialog : public QFileDialog {
    Q_OBJECT
public:
    explicit PictureFileDialog(QWidget* parent);

    // The paths confirmed by the last accept, in the order they were selected or typed.
    QStringList chosenPaths() const { return chosenPaths_; }

    // Preselects a file kind by its label, matching every pattern the label names.
    void selectKind(const QString& filter);

    QLineEdit* fileNameEdit() const;
    PicturePreview* preview() const { return preview_; }

    // The names in a file-name box's text: several names each in double quotes, or the
    // whole text as one name when it holds no quote.
    static QStringList typedNames(const QString& text);

    // The patterns a filter label names in its parentheses, separated by ";" or spaces.
    static QStringList patternsOf(const QString& filter);

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void applyNameFilter(const QString& filter);

    PicturePreview* preview_ = nullptr;
    QStringList chosenPaths_;
};

// Where a dialog of the given size opens on a screen: centred horizontally, its top one
// third of the way down, kept inside the screen.
QPoint dialogPosition(const QRect& screen, const QSize& dialog);
