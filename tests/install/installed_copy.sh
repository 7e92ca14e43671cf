#!/bin/bash
# Installs the build into a temporary prefix with DESTDIR (cmake --install) and checks the
# installed tree with check_tree.sh.
# Usage: installed_copy.sh BUILD_DIR ON_OWN_DISPLAY
set -u
build=$1
on_own_display=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=/opt/quarvel
DESTDIR=$work/root cmake --install "$build" --prefix "$prefix" >"$work/install.log" ||
  { cat "$work/install.log" >&2; exit 1; }
"$(dirname "$0")/check_tree.sh" "$work/root" "$prefix" "$build" "$on_own_display"
