#include "ui/ListSelection.h"

#include <QLocale>
#include <algorithm>

std::vector<RowSpan> rowSpans(const QItemSelection& selection) {
    std::vector<RowSpan> spans;
    spans.reserve(size_t(selection.size()));
    for (const QItemSelectionRange& range : selection) {
        if (range.isValid()) spans.push_back(RowSpan{range.top(), range.bottom()});
    }
    std::sort(spans.begin(), spans.end(), [](const RowSpan& a, const RowSpan& b) { return a.first < b.first; });
    std::vector<RowSpan> joined;
    for (const RowSpan& span : spans) {
        if (!joined.empty() && span.first <= joined.back().last + 1) {
            joined.back().last = std::max(joined.back().last, span.last);
        } else {
            joined.push_back(span);
        }
    }
    return joined;
}

std::vector<RowSpan> spansFrom(const std::vector<RowSpan>& spans, int from) {
    std::vector<RowSpan> out;
    for (const RowSpan& span : spans) {
        if (span.last < from) continue;
        out.push_back(RowSpan{std::max(span.first, from), span.last});
    }
    return out;
}

qsizetype rowCountOf(const std::vector<RowSpan>& spans) {
    qsizetype count = 0;
    for (const RowSpan& span : spans) count += span.count();
    return count;
}

QString selectionSummary(const QStringList& firstNames, qsizetype count) {
    if (count <= 0 || firstNames.isEmpty()) return QString();
    if (count == 1) return firstNames.first();
    QStringList quoted;
    for (qsizetype i = 0; i < firstNames.size() && i < kSummaryNames; ++i) quoted << u'"' + firstNames[i] + u'"';
    QString text = quoted.join(u' ');
    if (count > quoted.size()) text += QStringLiteral(" and %1 more").arg(QLocale().toString(count - quoted.size()));
    return text;
}
