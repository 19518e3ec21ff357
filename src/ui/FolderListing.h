#pragma once

#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <vector>

// One folder's entries as the open dialog lists them: read once, folders first, each
// part in natural order. Only the names are read (the kind of an entry comes with its
// name; a link or an entry of unknown kind is looked up), so a folder of a hundred
// thousand pictures is listed in the time it takes to read and sort their names.
struct FolderListing {
    QStringList folders;  // sub-folders (not "." or ".."), hidden ones left out
    QStringList files;    // everything else, hidden ones left out

    // Reads a folder; a folder that can't be read lists nothing.
    static FolderListing read(const QString& folder);
};

// The order of names in the list: case-insensitive, with runs of digits compared by
// their value ("f9" before "f10"), and names equal that way in plain order, so that
// every two different names have a fixed order.
bool naturalLess(QStringView a, QStringView b);

// Whether a file name matches one of the patterns ("*.bmp" and any other wildcard),
// case-insensitively.
class NameFilter {
public:
    NameFilter() = default;
    explicit NameFilter(const QStringList& patterns);

    bool matches(QStringView name) const;
    const QStringList& patterns() const { return patterns_; }

private:
    QStringList patterns_;
    QStringList suffixes_;                    // "*.ext" patterns as ".ext"
    std::vector<QRegularExpression> others_;  // every other pattern
};
