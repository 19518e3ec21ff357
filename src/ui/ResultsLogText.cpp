#include "ui/ResultsLogText.h"

#include <QTextDocument>

#include "results/ResultsLog.h"

std::optional<char32_t> lastLogCharacter(const QTextDocument& log) {
    // The document ends in a block separator of its own that is not part of the text.
    const int last = log.characterCount() - 2;
    if (last < 0) return std::nullopt;
    const QChar c = log.characterAt(last);
    if (c.isLowSurrogate() && last > 0) {
        const QChar high = log.characterAt(last - 1);
        if (high.isHighSurrogate()) return char32_t(QChar::surrogateToUcs4(high, c));
    }
    return char32_t(c.unicode());
}

std::string resultFileText(const QTextDocument& log) {
    // The raw text keeps what the user sees: toPlainText() would turn a non-breaking space
    // into a plain one and the separators into bare line feeds.
    return qfip::withCrlfLineEnds(log.toRawText().toStdString());
}
