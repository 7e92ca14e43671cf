#!/bin/bash
# Uses an installed tree as a user would: the files are where the desktop and the shell look,
# they pass the desktop's own validators, the manuals render cleanly, the installed
# quarvel-render renders the sample, and the installed quarvel finds its German texts and its
# help pages under share/quarvel while writing nothing under the tree.
# Usage: check_tree.sh ROOT PREFIX BUILD_DIR ON_OWN_DISPLAY
# (the tree is ROOT/PREFIX; BUILD_DIR's quarvel-render renders the reference mask)
set -u
root=$1
prefix=$2
build=$3
on_own_display=$4
installed=$root$prefix
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}


for f in bin/quarvel bin/quarvel-render share/quarvel/Deutsch.quarvel.lang \
  share/quarvel/Français.quarvel.lang share/quarvel/quarvel.help/index.htm \
  share/quarvel/quarvel.help/images/window.png share/quarvel/samples/knot.3ds \
  share/applications/quarvel.desktop share/icons/hicolor/scalable/apps/quarvel.svg \
  share/metainfo/org.example.quarvel.metainfo.xml share/man/man1/quarvel.1.gz \
  share/man/man1/quarvel-render.1.gz share/bash-completion/completions/quarvel-render \
  share/doc/quarvel/copyright; do
  [ -f "$installed/$f" ] || fail "$f is not installed"
done
for n in 16 24 32 48 64 128 256; do
  [ -f "$installed/share/icons/hicolor/${n}x$n/apps/quarvel.png" ] || fail "no ${n}x$n icon"
done
[ -x "$installed/bin/quarvel-render" ] || fail "quarvel-render is not executable"
if find "$installed" -perm /022 ! -type l | grep -q .; then
  fail "files writable by group or others: $(find "$installed" -perm /022 ! -type l)"
fi

# The desktop's validators and the manual reader.
desktop-file-validate "$installed/share/applications/quarvel.desktop" || fail "desktop file"
appstreamcli validate --no-net "$installed/share/metainfo/org.example.quarvel.metainfo.xml" \
  >"$work/appstream.log" 2>&1 || { cat "$work/appstream.log" >&2; fail "AppStream file"; }
for page in quarvel quarvel-render; do
  for width in 80 60; do
    MANWIDTH=$width man --warnings -l "$installed/share/man/man1/$page.1.gz" \
      >"$work/man.out" 2>"$work/man.err"
    [ -s "$work/man.err" ] && { cat "$work/man.err" >&2; fail "man $page at $width columns"; }
    grep -q "quarvel" "$work/man.out" || fail "man $page printed nothing"
  done
done

# Everything under the prefix as it was installed: nothing below may change.
snapshot() { (cd "$root" && find . -printf '%p %y %s %m %T@\n' | LC_ALL=C sort); }
snapshot >"$work/before"

# The installed batch renderer, on the installed sample.
version=$("$installed/bin/quarvel-render" --version)
[ "$version" = "quarvel-render 1.55" ] || fail "--version printed '$version'"
mkdir "$work/out"
if "$installed/bin/quarvel-render" "$installed/share/quarvel/samples/knot.3ds" \
  -o "$work/out/installed.bmp" --size 320x240 2>"$work/render.err"; then
  "$build/bin/quarvel-render" "$installed/share/quarvel/samples/knot.3ds" \
    -o "$work/out/built.bmp" --size 320x240 2>/dev/null
  cmp -s "$work/out/installed.bmp" "$work/out/built.bmp" ||
    fail "the installed renderer's mask differs from the build's"
else
  cat "$work/render.err" >&2
  fail "the installed quarvel-render cannot render the sample"
fi

# The AVI writer's module, loaded from lib/quarvel/ when a program first needs it.
"$installed/bin/quarvel-render" --codecs >"$work/codecs.txt" 2>&1 || fail "--codecs failed"
grep -q "^FFV1 " "$work/codecs.txt" || fail "--codecs lists no FFV1: $(head -3 "$work/codecs.txt")"
"$installed/bin/quarvel-render" "$installed/share/quarvel/samples/knot.3ds" --size 160x120 \
  --frames 2 --avi "$work/out/knot.avi" 2>"$work/avi.err" || { cat "$work/avi.err" >&2; fail "AVI"; }
[ -s "$work/out/knot.avi" ] || fail "the installed quarvel-render wrote no AVI file"

# The installed window, in German. A model that cannot be opened shows an error box titled with
# the German word for error; F1 in the main window then opens the help page at the window's
# topic through xdg-open, which hands it to a recorder standing in for the browser.
home=$work/home
mkdir -p "$home/config/quarvel" "$home/data/applications"
printf '[Props]\nlanguage=Deutsch\n' >"$home/config/quarvel/Quarvel.cfg"
printf '#!/bin/sh\necho "$1" >>"%s"\n' "$work/opened" >"$home/recorder"
chmod +x "$home/recorder"
printf '[Desktop Entry]\nType=Application\nName=Recorder\nExec=%s %%f\nMimeType=text/html;\n' \
  "$home/recorder" >"$home/data/applications/recorder.desktop"
printf '[Default Applications]\ntext/html=recorder.desktop;\n' >"$home/config/mimeapps.list"

cat >"$work/window.sh" <<EOF
#!/bin/bash
export HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data"
export LIBGL_ALWAYS_SOFTWARE=1 QT_QPA_PLATFORM=xcb
"$installed/bin/quarvel" "$work/no such model.3ds" 2>"$work/window.err" &
pid=\$!
# Waits up to 60 s for a window whose title matches \$1; prints its id.
await() {
  for _ in \$(seq 600); do
    id=\$(xdotool search --name "\$1" 2>/dev/null | head -1)
    [ -n "\$id" ] && { echo "\$id"; return 0; }
    sleep 0.1
  done
  return 1
}
# Keys go to the focused window, and a window takes keys only once it has seen its focus: each key
# is pressed again until it has done its work.
box=\$(await '^Fehler\$') || echo "no German error box" >"$work/window.fail"
for _ in \$(seq 50); do
  xdotool search --name '^Fehler\$' >/dev/null || break
  xdotool windowfocus --sync "\$box" key Return 2>/dev/null
  sleep 0.2
done
main=\$(await '^Quarvel 1.55')
for _ in \$(seq 30); do
  xdotool windowfocus --sync "\$main" key F1
  for _ in \$(seq 10); do [ -s "$work/opened" ] && break 2; sleep 0.1; done
done
kill -TERM \$pid
wait \$pid
echo \$? >"$work/window.rc"
EOF
chmod +x "$work/window.sh"
timeout 180 "$on_own_display" "$work/window.sh" || fail "the window's run did not finish"
[ -f "$work/window.fail" ] && fail "$(cat "$work/window.fail")"
[ "$(cat "$work/window.rc" 2>/dev/null)" = 0 ] || { cat "$work/window.err" >&2; fail "quarvel exit"; }
expected=$installed/share/quarvel/quarvel.help/how_to_use.htm
grep -qxF "$expected" "$work/opened" 2>/dev/null ||
  fail "F1 opened '$(cat "$work/opened" 2>/dev/null)', not $expected"
grep -qi "^language *= *Deutsch" "$home/config/quarvel/Quarvel.cfg" ||
  fail "the settings were not written to the config folder"

snapshot >"$work/after"
diff "$work/before" "$work/after" >&2 || fail "files under the prefix changed"

[ $failures -eq 0 ] && echo "the installed tree works"
exit $((failures > 0))
