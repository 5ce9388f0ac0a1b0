#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks it as a desktop would:
# the files are where the freedesktop layout wants them, the desktop entry
# validates, a MIME database built from the installed package maps a ".qd"
# name and a file starting with "qd410" to the catalog type, and bash
# completes qdcat's commands and options.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null

fail=0
for f in bin/qd bin/qdcat share/applications/qd.desktop share/mime/packages/qd-catalog.xml \
         share/icons/hicolor/scalable/apps/qd.svg share/icons/hicolor/scalable/mimetypes/application-x-qd-catalog.svg \
         share/bash-completion/completions/qdcat; do
  if [ ! -e "$prefix/$f" ]; then echo "missing: $f"; fail=1; fi
done
[ -x "$prefix/bin/qd" ] && [ -x "$prefix/bin/qdcat" ] || { echo "programs not executable"; fail=1; }

desktop-file-validate "$prefix/share/applications/qd.desktop" || fail=1
grep -qx 'MimeType=application/x-qd-catalog;' "$prefix/share/applications/qd.desktop" || { echo "no MimeType"; fail=1; }
# A Japanese desktop names and describes Qd and its catalogs in Japanese, any other in English.
entry=$prefix/share/applications/qd.desktop
for key in 'Name[ja]' 'Comment[ja]'; do
  LC_ALL=C.UTF-8 grep -qP "^\Q$key\E=.*[\p{Han}\p{Katakana}\p{Hiragana}]" "$entry" || { echo "no Japanese $key"; fail=1; }
done
for key in Name Comment; do
  LC_ALL=C.UTF-8 grep -qP "^$key=[\x20-\x7e]+$" "$entry" || { echo "$key is not English"; fail=1; }
done

update-mime-database "$prefix/share/mime"
grep -q '<comment xml:lang="ja">.*ディスク' "$prefix/share/mime/application/x-qd-catalog.xml" ||
  { echo "the catalog type has no Japanese comment"; fail=1; }
samples=$(mktemp -d)
trap 'rm -rf "$prefix" "$samples"' EXIT
printf 'qd410\x00\x00' > "$samples/x.qd"
printf 'qd410\x00\x00' > "$samples/no-extension"
for f in x.qd no-extension; do
  type=$(XDG_DATA_HOME="$samples/none" XDG_DATA_DIRS="$prefix/share" gio info -a standard::content-type "$samples/$f" |
         sed -n 's/^ *standard::content-type: //p')
  if [ "$type" != application/x-qd-catalog ]; then echo "$f is $type"; fail=1; fi
done

# Bash completes every command and every option that a command's --help names.
completion=$prefix/share/bash-completion/completions/qdcat
bash -n "$completion" || { echo "the completion is no valid bash"; fail=1; }
complete_words() { # the completions of the words given, the last being completed
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _qdcat; printf "%s\n" "${COMPREPLY[@]}"' \
    qdcat "$completion" "$@"
}
[ "$(complete_words qdcat se)" = search ] || { echo "qdcat se does not complete to search"; fail=1; }
commands=$("$prefix/bin/qdcat" --help | sed -n 's/^  qdcat \([a-z]*\) .*/\1/p')
[ "$(echo "$commands" | wc -l)" -ge 10 ] || { echo "qdcat --help lists too few commands"; fail=1; }
# The words are matched from here-strings, not pipes: grep -q leaves at its
# first match, and a writer still printing the next line (bash flushes every
# line) would then die of SIGPIPE and fail the pipeline under pipefail.
for c in $commands; do
  grep -qx -- "$c" <<< "$(complete_words qdcat "${c:0:3}")" || { echo "no completion for the command $c"; fail=1; }
  offered=$(complete_words qdcat "$c" -)
  for o in $("$prefix/bin/qdcat" "$c" --help | grep -oE '^  (-[a-zA-Z?], )?--[a-z-]+' | grep -oE -- '--[a-z-]+$'); do
    grep -qx -- "$o" <<< "$offered" || { echo "qdcat $c $o does not complete"; fail=1; }
  done
done

# An installed program keeps its catalogs in the user's data folder.
home=$(mktemp -d)
trap 'rm -rf "$prefix" "$samples" "$home"' EXIT
HOME=$home XDG_DATA_HOME=$home/share XDG_CONFIG_HOME=$home/config "$prefix/bin/qdcat" drives --map Z="$samples" >/dev/null
HOME=$home XDG_DATA_HOME=$home/share XDG_CONFIG_HOME=$home/config "$prefix/bin/qdcat" scan Z: --title Sample >/dev/null
[ -f "$home/share/Qd/data/Sample.qd" ] || { echo "an installed qdcat wrote beside itself"; fail=1; }
[ ! -e "$prefix/bin/data" ] || { echo "data beside the installed program"; fail=1; }

exit $fail
