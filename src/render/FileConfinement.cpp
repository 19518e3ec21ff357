#include "render/FileConfinement.h"

#include <QByteArray>
#include <QImage>
#include <dirent.h>
#include <dlfcn.h>
#include <fontconfig/fontconfig.h>
#include <iconv.h>

#include "render/SvgRendering.h"

namespace {

void addAll(std::vector<std::string>& paths, FcStrList* list) {
    if (!list) return;
    while (const FcChar8* path = FcStrListNext(list)) paths.emplace_back(reinterpret_cast<const char*>(path));
    FcStrListDone(list);
}

// The folder of the C library's character-set converters, beside the C library itself.
std::string gconvFolder() {
    Dl_info library{};
    if (dladdr(reinterpret_cast<void*>(&iconv_open), &library) == 0 || !library.dli_fname) return {};
    const std::string path = library.dli_fname;
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash) + "/gconv";
}

// What drawing would otherwise load from files later: Qt's image plugins (icons go
// through the ico plugin; bytes no reader takes make Qt load them all) and gdk-pixbuf's
// list of loaders, which librsvg reads when it draws an embedded picture.
void loadWhatDrawingLoadsLater() {
    QImage::fromData(QByteArray("no picture"));
    prepareSvgRendering();
}

// Landlock confines the calling thread and the threads it starts, not the others.
bool singleThreaded() {
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks) return true;  // no /proc: nothing has started a thread this early
    int count = 0;
    while (const dirent* entry = readdir(tasks))
        if (entry->d_name[0] != '.') ++count;
    closedir(tasks);
    return count == 1;
}

}  // namespace

std::vector<std::string> helperReadablePaths() {
    std::vector<std::string> paths;
    if (FcConfig* config = FcConfigGetCurrent()) {
        addAll(paths, FcConfigGetFontDirs(config));
        addAll(paths, FcConfigGetCacheDirs(config));
        addAll(paths, FcConfigGetConfigFiles(config));
    }
    // fontconfig's folder of configuration templates, which it lists each time it sets
    // itself up again (libemf2svg tears it down after drawing text).
    paths.emplace_back("/usr/share/fontconfig/conf.avail");
    // libwmf's compiled-in font folder and font maps.
    for (const char* path : {"/usr/share/fonts/type1/urw-base35", "/etc/libwmf.fontmap",
                             "/var/lib/ghostscript/fonts/Fontmap"})
        paths.emplace_back(path);
    if (std::string gconv = gconvFolder(); !gconv.empty()) paths.push_back(std::move(gconv));
    return paths;
}

FileConfinement confineHelperFiles(int abi) {
    loadWhatDrawingLoadsLater();
    const std::vector<std::string> paths = helperReadablePaths();
    if (abi == 0) return FileConfinement::NoLandlock;
    if (!singleThreaded()) return FileConfinement::Failed;
    qfip::landlock::ReadOnlyRuleset ruleset(abi);
    if (!ruleset.valid()) return FileConfinement::Failed;
    // A path that can't be opened gets no rule and stays closed.
    for (const std::string& path : paths) ruleset.allowReading(path.c_str());
    return ruleset.enforce() ? FileConfinement::Confined : FileConfinement::Failed;
}
