#!/bin/bash
# Builds the Debian package with CPack, checks its control fields and contents, then extracts it
# with dpkg-deb -x and checks the extracted tree with check_tree.sh.
# Usage: package.sh BUILD_DIR ON_OWN_DISPLAY
set -u
build=$1
on_own_display=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}

cpack --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; exit 1; }
deb=$work/package/quarvel_1.55-1_$(dpkg --print-architecture).deb
[ -f "$deb" ] || { ls "$work/package" >&2; echo "FAILED: no $deb" >&2; exit 1; }

field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = quarvel ] || fail "Package: $(field Package)"
[ "$(field Version)" = 1.55-1 ] || fail "Version: $(field Version)"
[ "$(field Section)" = graphics ] || fail "Section: $(field Section)"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture"
[[ $(field Maintainer) == *"<support@quarvel.example.org>" ]] || fail "Maintainer"
[ "$(dpkg-deb --field "$deb" Description | head -1)" = \
  "turn 3D models into depth masks for stereograms" ] || fail "Description's summary"
[ "$(dpkg-deb --field "$deb" Description | grep -c "turn 3D models")" = 1 ] ||
  fail "the summary is repeated in the description"
# The libraries come from the binaries (dpkg-shlibdeps), each with its version.
depends=$(field Depends)
for lib in libc6 libstdc++6 libqt6widgets6 libqt6openglwidgets6 libavformat59 libavcodec59 \
  libavutil57 libjpeg62-turbo libmeshoptimizer2d; do
  [[ ", $depends," =~ ", $lib (>= "[^\)]+")," ]] || fail "Depends lacks $lib: $depends"
done
dpkg-deb --info "$deb" >"$work/info"
grep -Eq '^ +[0-9]+ bytes, +[0-9]+ lines +(postinst|preinst|postrm|prerm|triggers)' "$work/info" &&
  fail "maintainer scripts in the package: $(cat "$work/info")"

# Everything under /usr, owned by root, nothing writable by others, every expected file.
dpkg-deb --contents "$deb" >"$work/contents"
awk '$6 !~ /^\.\/usr\// && $6 != "./"' "$work/contents" | grep . && fail "files outside /usr"
awk '$2 != "root/root"' "$work/contents" | grep . && fail "files not owned by root"
awk '$1 ~ /^.....w|^........w/' "$work/contents" | grep . && fail "files writable by group or others"
for f in bin/quarvel bin/quarvel-render share/applications/quarvel.desktop \
  share/metainfo/org.example.quarvel.metainfo.xml share/man/man1/quarvel-render.1.gz \
  share/quarvel/quarvel.help/index.htm share/doc/quarvel/copyright; do
  grep -q " \./usr/$f\$" "$work/contents" || fail "the package lacks /usr/$f"
done

mkdir "$work/root"
dpkg-deb -x "$deb" "$work/root" || fail "dpkg-deb -x"
"$(dirname "$0")/check_tree.sh" "$work/root" /usr "$build" "$on_own_display" || fail "the extracted package"

[ $failures -eq 0 ] && echo "the package is sound"
exit $((failures > 0))
