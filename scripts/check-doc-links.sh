#!/usr/bin/env bash
# Checks the links of README.md and docs/*.md: every linked file exists, and every
# #anchor names a heading of its page (GitHub's rule: lower case, spaces to '-',
# punctuation dropped). Links to web pages are not followed. Exit status 1 on a bad link.
set -euo pipefail
cd "$(dirname "$0")/.."

# A page's anchors, one per line (code blocks left out).
anchors() {
  awk '/^```/ { code = !code; next } !code && /^#+ / { sub(/^#+ +/, ""); print }' "$1" |
    tr 'A-Z' 'a-z' | sed -e 's/[^a-z0-9 _-]//g' -e 's/ /-/g' |
    awk '{ n = seen[$0]++; print (n ? $0 "-" n : $0) }' # a repeated heading gets -1, -2...
}

status=0
for page in README.md docs/*.md; do
  folder=$(dirname "$page")
  while IFS= read -r target; do
    case "$target" in http://* | https://* | mailto:*) continue ;; esac
    path=${target%%#*}
    anchor=
    [[ "$target" == *"#"* ]] && anchor=${target#*#}
    file=$page
    [ -n "$path" ] && file=$folder/$path
    if [ ! -e "$file" ]; then
      echo "$page: no such file: $target"
      status=1
    elif [ -n "$anchor" ] && ! anchors "$file" | grep -qxF -- "$anchor"; then
      echo "$page: no heading for #$anchor in $file"
      status=1
    fi
  done < <(awk '/^```/ { code = !code; next } !code' "$page" | grep -oE '\]\([^)]*\)' |
    sed -e 's/^](//' -e 's/)$//')
done
[ "$status" -eq 0 ] && echo "Links of README.md and docs/*.md: all found."
exit "$status"
