#pragma once

#include <string>
#include <vector>

#include "common/Landlock.h"

// The drawing helper's file confinement (Landlock), installed once it has started and
// before it reads its request: from then on it may open only what drawing reads, and
// only to read it (listed by helperReadablePaths, missing ones skipped):
// - the folders fontconfig takes fonts from, with their subfolders (by default
//   /usr/share/fonts, /usr/local/share/fonts, ~/.local/share/fonts and ~/.fonts), its
//   cache folders (/var/cache/fontconfig, ~/.cache/fontconfig), its configuration files
//   (/etc/fonts/...) and templates (/usr/share/fontconfig/conf.avail): Qt and libemf2svg
//   draw a metafile's text with these fonts, and libemf2svg makes fontconfig set itself
//   up again after each text;
// - libwmf's own font folder and font maps (/usr/share/fonts/type1/urw-base35,
//   /etc/libwmf.fontmap, /var/lib/ghostscript/fonts/Fontmap): it measures a placeable
//   metafile's text with them;
// - the C library's character-set converters (the gconv folder beside libc): libemf2svg
//   converts text from UTF-16.
// Nothing else can be opened, listed, written, created or run: not the user's files, not
// /tmp, not the rest of /usr/share. What drawing would otherwise load later, fontconfig's
// configuration and caches and Qt's image format plugins (with the libraries they link),
// is loaded before. Every thread the helper starts afterwards is confined too.

// The paths the helper may read once confined (fontconfig is set up by the call).
std::vector<std::string> helperReadablePaths();

enum class FileConfinement {
    Confined,
    NoLandlock,  // the kernel has none: the helper runs under its other limits only
    Failed,      // Landlock is there but the confinement could not be installed
};

// Confines the calling process (single-threaded, with no_new_privs set) as above, with
// the rights Landlock ABI `abi` knows (the running kernel's by default; 0: none).
FileConfinement confineHelperFiles(int abi = qfip::landlock::abiVersion());
