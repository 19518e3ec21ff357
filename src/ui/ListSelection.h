#pragma once

#include <QItemSelection>
#include <QString>
#include <QStringList>
#include <vector>

// A list's selection is kept as ranges of rows (Ctrl+A is one range, a Shift-click one
// more), and read as ranges: nothing here visits a row that no one looks at.

// Rows first to last, both included.
struct RowSpan {
    int first = 0;
    int last = -1;
    int count() const { return last - first + 1; }
    friend bool operator==(const RowSpan&, const RowSpan&) = default;
};

// The rows a selection holds, each once and in the list's order: its ranges sorted by
// their first row, and ranges that overlap or touch joined.
std::vector<RowSpan> rowSpans(const QItemSelection& selection);

// The rows of spans at or after `from`, spans cut to start there.
std::vector<RowSpan> spansFrom(const std::vector<RowSpan>& spans, int from);

// The rows of spans, in order, whole.
qsizetype rowCountOf(const std::vector<RowSpan>& spans);

// What the file-name box shows for a selection of `count` files whose first names are
// `firstNames`: the one name as it is; a few names each in double quotes (text that reads
// back as the same names when typed); more than that, the first of them and how many
// more there are, for a person to read.
QString selectionSummary(const QStringList& firstNames, qsizetype count);

// How many names the box shows at most.
constexpr int kSummaryNames = 3;
