#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class QWidget;
class PictureFileDialog;

// The picture open dialog: multiple selection of bitmaps, icons and metafiles, with a
// preview. It remembers, between showings, the file kind chosen and the first path of
// the last confirmed selection (its file name).
class OpenPictureDialog {
public:
    // The filter list in its order; the first is preselected at the start.
    static QStringList filters();

    // Runs the dialog modally. Returns the chosen paths in selection order (typed names
    // are accepted without an existence check), or nullopt when cancelled.
    // Choosing files makes their folder the current folder.
    std::optional<QStringList> run(QWidget* parent);

    // run() in two halves, so the dialog can also be driven without a modal loop:
    // createDialog builds it with the remembered kind and file name; finish takes its
    // result code, remembers a confirmed choice and returns the paths as run() does.
    std::unique_ptr<PictureFileDialog> createDialog(QWidget* parent) const;
    std::optional<QStringList> finish(PictureFileDialog& dialog, int result);

    // The first path of the last confirmed selection (empty at first).
    QString fileName() const { return fileName_; }
    QString selectedFilter() const { return selectedFilter_; }

private:
    QString fileName_;
    QString selectedFilter_;
};
