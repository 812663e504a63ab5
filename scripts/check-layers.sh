#!/usr/bin/env bash
# Every #include "folder/..." in src/ must point at the file's own folder or
# one below it, in this order from the ground up. The command-line tool sits
# above everything but drives the plug-in through its exports only, so it may
# reach nothing but platform/. Inside render/, each writer (rtf/, html/) may
# use the record walk (walk/) but not another writer, and the walk no writer.
set -euo pipefail
cd "$(dirname "$0")/../src"
order=(platform core helpfile project topics firstpass render driver plugin cli)
rank() {
  local i
  for i in "${!order[@]}"; do [ "${order[$i]}" = "$1" ] && { echo "$i"; return; }; done
  echo -1
}
# The writers of render/ stand side by side on the walk: render/X may include
# render/walk and render/X; render/walk only itself; render/ itself anything.
render_allowed() {
  local own=$1 target=$2
  [ -z "$own" ] || [ "$own" = "$target" ] || [ "$target" = walk ]
}
bad=0
while IFS=: read -r file line text; do
  if [[ $file == render/*/* ]] && [[ $text =~ \#[[:space:]]*include[[:space:]]*\"render/([^/\"]*)/ ]]; then
    sub_target=${BASH_REMATCH[1]}
    sub_own=${file#render/}
    sub_own=${sub_own%%/*}
    if ! render_allowed "$sub_own" "$sub_target"; then
      echo "src/$file:$line includes render/$sub_target/: render/$sub_own/ may use render/walk/ only" >&2
      bad=1
    fi
  fi
  own=${file%%/*}
  target=$(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^/"]*\)\/.*/\1/p' <<<"$text")
  [ -n "$target" ] || continue
  r_target=$(rank "$target")
  [ "$r_target" -ge 0 ] || continue  # not one of ours (hlpunpack/wcx.h, the public interface)
  r_own=$(rank "$own")
  if [ "$own" = cli ]; then
    allowed=$([ "$target" = platform ] || [ "$target" = cli ] && echo yes || echo no)
  else
    allowed=$([ "$r_target" -le "$r_own" ] && echo yes || echo no)
  fi
  if [ "$allowed" = no ] && [ "$own" = cli ]; then
    echo "src/$file:$line includes $target/: the command-line tool reaches the decompiler through the exports only" >&2
    bad=1
  elif [ "$allowed" = no ]; then
    echo "src/$file:$line includes $target/, which is above $own/ (order: ${order[*]})" >&2
    bad=1
  fi
done < <(grep -rn --include='*.h' --include='*.cpp' -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' .  | sed 's#^\./##')
[ "$bad" -eq 0 ] && echo "every include points down"
exit "$bad"
