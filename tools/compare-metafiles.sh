#!/usr/bin/env bash
# Draws every metafile of the drawing corpus (tests/support/MetafileCorpus.h) and every
# other metafile the tests draw with this program's chain (the built drawing helper) and
# with renderers that share no code with it, and reports where they differ:
#   - Inkscape's EMF and WMF import (inkscape --export-type=png)
#   - LibreOffice's (soffice --headless --convert-to png; it centres the picture on a page)
#   - libwmf's bitmap device for WMF (wmf2gd)
# Usage: tools/compare-metafiles.sh [output folder] (default build/metafile-compare)
# Needs a configured build/ (scripts/build.sh); installs the three renderers with apt
# when they are missing (inkscape, libreoffice-draw-nogui, libwmf-bin: about 400 MB, so
# CI does not run this; it runs the corpus's known-answer tables instead).
# Writes <output>/report.tsv (one line a file and renderer), report.md (the same as a
# table) and, for every pair that differs, <output>/diff/<file>.<renderer>.png: ours,
# theirs and the differing pixels in red, side by side.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
out=${1:-$build/metafile-compare}

missing=()
command -v inkscape >/dev/null || missing+=(inkscape)
command -v soffice >/dev/null || missing+=(libreoffice-draw-nogui)
command -v wmf2gd >/dev/null || missing+=(libwmf-bin)
if ((${#missing[@]})); then
  if ((EUID != 0)); then
    echo "needs: apt-get install --no-install-recommends ${missing[*]} (as root)" >&2
    exit 1
  fi
  echo "installing ${missing[*]}" >&2
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

cmake --build "$build" --target quendral_pictures quendral_metafile_diff quendral-render >/dev/null
pictures=$build/tools/quendral_pictures
diff_tool=$build/tools/quendral_metafile_diff
helper=$build/libexec/quendral/quendral-render

rm -rf "$out"
mkdir -p "$out"/{files,ours,inkscape,libreoffice,wmf2gd,diff}
"$pictures" corpus "$out/files"
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
# LibreOffice in a profile of its own, so that a running office or its lock is never met.
profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT

for file in "$out"/files/*; do
  name=$(basename "${file%.*}")
  "$diff_tool" draw "$helper" "$file" "$out/ours/$name.png" 2>"$out/ours/$name.txt" || true
  timeout 120 inkscape --export-type=png --export-filename="$out/inkscape/$name.png" "$file" \
    >"$out/inkscape/$name.txt" 2>&1 || true
  if [[ $file == *.wmf ]]; then
    size=$(file "$out/ours/$name.png" 2>/dev/null | sed -n 's/.* \([0-9]*\) x \([0-9]*\),.*/\1 \2/p')
    read -r width height <<<"${size:-1000 1000}"
    timeout 120 wmf2gd -t png --maxwidth="$width" --maxheight="$height" --maxpect -o "$out/wmf2gd/$name.png" "$file" \
      >"$out/wmf2gd/$name.txt" 2>&1 || true
  fi
done
timeout 900 soffice -env:UserInstallation="file://$profile" --headless --convert-to png \
  --outdir "$out/libreoffice" "$out"/files/* >"$out/libreoffice/convert.txt" 2>&1 || true

{
  printf 'file\trenderer\tours\ttheirs\tdiffering\tchecks ours\tchecks theirs\tfailed ours\tfailed theirs\n'
  for file in "$out"/files/*; do
    name=$(basename "${file%.*}")
    for renderer in inkscape libreoffice wmf2gd; do
      [[ $renderer == wmf2gd && $file != *.wmf ]] && continue
      centred=()
      [[ $renderer == libreoffice ]] && centred=(centred)
      line=$("$diff_tool" compare "$file" "$out/ours/$name.png" "$out/$renderer/$name.png" \
        "$out/diff/$name.$renderer.png" "${centred[@]}" 2>/dev/null || true)
      printf '%s\t%s\t%s\n' "$name" "$renderer" "$(cut -f2- <<<"$line")"
    done
  done
} >"$out/report.tsv"

{
  echo "| file | renderer | ours | theirs | differing | checks ours | checks theirs | failed ours | failed theirs |"
  echo "|---|---|---|---|---|---|---|---|---|"
  tail -n +2 "$out/report.tsv" | sed 's/\t/ | /g; s/^/| /; s/$/ |/'
} >"$out/report.md"
column -t -s $'\t' "$out/report.tsv" | cut -c1-200
echo "report: $out/report.md; side by side (ours, theirs, differing pixels in red): $out/diff/"
