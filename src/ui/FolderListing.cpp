#include "ui/FolderListing.h"

#include <QFile>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <string>

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// An entry that names a folder: told by the entry itself, or for a link (or a file
// system that doesn't tell) by what it leads to.
bool isFolder(DIR* dir, const dirent& entry) {
    if (entry.d_type == DT_DIR) return true;
    if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN) return false;
    struct stat status {};
    return ::fstatat(::dirfd(dir), entry.d_name, &status, 0) == 0 && S_ISDIR(status.st_mode);
}

bool isAsciiDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// A name's sort key: its characters case-folded, and each run of digits as a '0', the
// count of its significant digits, then those digits. Plain order of keys is the natural
// order of names: a longer number is larger, numbers of the same length compare digit by
// digit, and leading zeros don't count.
std::u16string sortKey(QStringView name) {
    std::u16string key;
    key.reserve(size_t(name.size()) + 4);
    for (qsizetype i = 0; i < name.size();) {
        const char16_t c = name[i].unicode();
        if (isAsciiDigit(c)) {
            while (i < name.size() && name[i] == u'0') ++i;
            qsizetype end = i;
            while (end < name.size() && isAsciiDigit(name[end].unicode())) ++end;
            key.push_back(u'0');
            key.push_back(char16_t(end - i));
            for (; i < end; ++i) key.push_back(name[i].unicode());
            continue;
        }
        key.push_back(c < 0x80 ? (c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c) : QChar::toCaseFolded(c));
        ++i;
    }
    return key;
}

// Names in natural order, each key made once.
void sortNaturally(QStringList& names) {
    struct Keyed {
        std::u16string key;
        qsizetype index;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(size_t(names.size()));
    for (qsizetype i = 0; i < names.size(); ++i) keyed.push_back(Keyed{sortKey(names[i]), i});
    std::sort(keyed.begin(), keyed.end(), [&names](const Keyed& a, const Keyed& b) {
        if (a.key != b.key) return a.key < b.key;
        return names[a.index] < names[b.index];
    });
    QStringList sorted;
    sorted.reserve(names.size());
    for (const Keyed& k : keyed) sorted.push_back(std::move(names[k.index]));
    names = std::move(sorted);
}

}  // namespace

bool naturalLess(QStringView a, QStringView b) {
    const std::u16string x = sortKey(a), y = sortKey(b);
    if (x != y) return x < y;
    return a.compare(b, Qt::CaseSensitive) < 0;
}

FolderListing FolderListing::read(const QString& folder) {
    FolderListing listing;
    const std::unique_ptr<DIR, DirCloser> dir(::opendir(QFile::encodeName(folder).constData()));
    if (!dir) return listing;
    while (const dirent* entry = ::readdir(dir.get())) {
        // Hidden entries, "." and ".." included, are not listed.
        if (entry->d_name[0] == '.') continue;
        QString name = QFile::decodeName(entry->d_name);
        (isFolder(dir.get(), *entry) ? listing.folders : listing.files).push_back(std::move(name));
    }
    sortNaturally(listing.folders);
    sortNaturally(listing.files);
    return listing;
}

NameFilter::NameFilter(const QStringList& patterns) : patterns_(patterns) {
    for (const QString& pattern : patterns) {
        const QStringView rest = QStringView(pattern).mid(1);
        if (pattern.startsWith(u"*.") && !rest.contains(u'*') && !rest.contains(u'?') && !rest.contains(u'[')) {
            suffixes_ << rest.toString();
        } else {
            others_.push_back(QRegularExpression::fromWildcard(pattern, Qt::CaseInsensitive));
        }
    }
}

bool NameFilter::matches(QStringView name) const {
    for (const QString& suffix : suffixes_) {
        if (name.endsWith(suffix, Qt::CaseInsensitive)) return true;
    }
    for (const QRegularExpression& expression : others_) {
        if (expression.match(name).hasMatch()) return true;
    }
    return false;
}
