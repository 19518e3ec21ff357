#!/usr/bin/env bash
# Fuzzes one target (or the two fast ones) for SECONDS, built with clang, AddressSanitizer
# and UndefinedBehaviorSanitizer in build-fuzz/:
#   picture  the picture readers (libFuzzer), from the BMP test corpus (tests/data/bmpsuite)
#            copied into fuzz-corpus/ (which keeps growing between runs); default 60 s;
#   reply    the program's side of the exchange with the drawing helper (the reply reader
#            and the metafile headers it sizes the drawing by; libFuzzer), from
#            fuzz-corpus-reply/; default 60 s;
#   emf      the rewriting of enhanced metafiles' records before libemf2svg reads them
#            (libFuzzer), from the metafile corpus (quendral_pictures corpus) copied into
#            fuzz-corpus-emf/; default 60 s;
#   wmf      what the drawing helper runs beside libwmf's player (its input, the clip and
#            mapping it follows, text records, polygon and clip drawing; libFuzzer), from
#            fuzz-corpus-wmf/ (seeded with the metafile corpus's placeable files); default 60 s;
#   readers  picture, reply, emf, then wmf (what scripts/test.sh runs);
#   drawing  the drawing path through the real helper: mutated icons and metafiles, taken
#            or refused by the program's header checks, drawn by the real client and the
#            real quendral-render (built in build/); the driver counts the helper's deaths
#            by kind, keeps the inputs that killed it in build-fuzz/helper-deaths/, and
#            fails when the parent crashes, hangs, leaks memory or descriptors, or leaves a
#            helper; default 600 s.
# Fails when a fuzzer finds a crash, a sanitizer report, a leak or a hang; the input is
# kept in build-fuzz/artifacts/.
# Usage: scripts/fuzz.sh picture|reply|emf|wmf|readers|drawing [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
target="${1:-}"
case "$target" in
  picture | reply | emf | wmf | readers) seconds="${2:-60}" ;;
  drawing) seconds="${2:-600}" ;;
  *) echo "usage: scripts/fuzz.sh picture|reply|emf|wmf|readers|drawing [SECONDS]" >&2; exit 2 ;;
esac

configure() {
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DQFIP_BUILD_FUZZ=ON -DQFIP_BUILD_UI=OFF >/dev/null
  mkdir -p build-fuzz/artifacts
}

fuzz_picture() {
  cmake --build build-fuzz --target fuzz_picture -j2
  mkdir -p fuzz-corpus
  for folder in g q b x; do
    for file in "tests/data/bmpsuite/$folder"/*.bmp; do
      [ -e "$file" ] && cp -n "$file" "fuzz-corpus/${folder}_$(basename "$file")"
    done
  done
  build-fuzz/fuzz/fuzz_picture -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2560 \
    -max_len=65536 -print_final_stats=1 -artifact_prefix=build-fuzz/artifacts/ fuzz-corpus
}

fuzz_reply() {
  cmake --build build-fuzz --target fuzz_reply -j2
  mkdir -p fuzz-corpus-reply
  build-fuzz/fuzz/fuzz_reply -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2560 \
    -print_final_stats=1 -artifact_prefix=build-fuzz/artifacts/ fuzz-corpus-reply
}

fuzz_wmf() {
  cmake --build build-fuzz --target fuzz_wmf_playback quendral_pictures -j2
  mkdir -p fuzz-corpus-wmf build-fuzz/wmf-starters
  # The corpus's placeable files, their records after the headers (the target adds its own).
  build-fuzz/tools/quendral_pictures corpus build-fuzz/wmf-starters >/dev/null
  for file in build-fuzz/wmf-starters/*.wmf; do
    [ -e "$file" ] && { printf '\x10'; tail -c +41 "$file"; } >"fuzz-corpus-wmf/$(basename "$file" .wmf)"
  done
  build-fuzz/fuzz/fuzz_wmf_playback -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2560 \
    -max_len=65536 -print_final_stats=1 -artifact_prefix=build-fuzz/artifacts/ fuzz-corpus-wmf
}

fuzz_emf() {
  cmake --build build-fuzz --target fuzz_emf_records quendral_pictures -j2
  mkdir -p fuzz-corpus-emf build-fuzz/emf-starters
  build-fuzz/tools/quendral_pictures corpus build-fuzz/emf-starters >/dev/null
  for file in build-fuzz/emf-starters/*.emf; do
    [ -e "$file" ] && cp -n "$file" "fuzz-corpus-emf/$(basename "$file")"
  done
  build-fuzz/fuzz/fuzz_emf_records -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2560 \
    -max_len=65536 -print_final_stats=1 -artifact_prefix=build-fuzz/artifacts/ fuzz-corpus-emf
}

fuzz_drawing() {
  scripts/build.sh
  cmake --build build-fuzz --target fuzz_drawing -j2
  mkdir -p build-fuzz/helper-deaths
  ASAN_OPTIONS=detect_leaks=1 build-fuzz/fuzz/fuzz_drawing build/libexec/quendral/quendral-render "$seconds" \
    build-fuzz/helper-deaths
}

configure
case "$target" in
  picture) fuzz_picture ;;
  reply) fuzz_reply ;;
  emf) fuzz_emf ;;
  wmf) fuzz_wmf ;;
  readers) fuzz_picture; fuzz_reply; fuzz_emf; fuzz_wmf ;;
  drawing) fuzz_drawing ;;
esac
