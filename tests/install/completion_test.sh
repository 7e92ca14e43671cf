#!/bin/bash
# Checks the bash completion of quarvel-render: completion_test.sh PATH/quarvel-render.bash-completion
#
# Sources the completion file and calls _quarvel_render as bash would, with COMP_WORDS,
# COMP_CWORD, COMP_LINE and COMP_POINT set for a command line. Everything it writes lies in one
# temporary folder, removed at the end. Exits 0 when every check passes, 1 otherwise.

set -u

if [[ $# -ne 1 || ! -f $1 ]]; then
    echo "usage: $0 PATH/quarvel-render.bash-completion" >&2
    exit 2
fi
completion=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")

work=$(mktemp -d) || exit 2
trap 'rm -rf -- "$work"' EXIT

# A model, a mask and a folder to complete, and a stand-in for quarvel-render on PATH that
# prints its list of compressors as the real one does.
mkdir "$work/files" "$work/files/sub" "$work/bin"
: >"$work/files/a.bmp"
: >"$work/files/b.3ds"
: >"$work/files/d e.3DS"
: >"$work/files/sub/c.BMP"
: >"$work/files/e.PNG"
: >"$work/files/f.exr"
: >"$work/files/g.pfm"
: >"$work/files/h.json"
cat >"$work/bin/quarvel-render" <<'EOF'
#!/bin/sh
[ "$1" = --codecs ] || exit 2
printf '%-6s  %-14s  %-8s  %s\n' FourCC Name Lossless Description
printf '%-6s  %-14s  %-8s  %s\n' 'dpx ' dpx yes 'DPX (Digital Picture Exchange) image'
printf '%-6s  %-14s  %-8s  %s\n' FFV1 ffv1 yes 'FFmpeg video codec #1'
printf '%-6s  %-14s  %-8s  %s\n' FFVH ffvhuff yes 'Huffyuv FFmpeg variant'
printf '%-6s  %-14s  %-8s  %s\n' FMP4 mpeg4 no 'MPEG-4 part 2'
EOF
chmod +x "$work/bin/quarvel-render"
PATH=$work/bin:$PATH

# shellcheck source=/dev/null
source "$completion" || {
    echo "FAIL: cannot source $completion"
    exit 1
}
if ! declare -F _quarvel_render >/dev/null; then
    echo "FAIL: $completion does not define _quarvel_render"
    exit 1
fi
if [[ $(complete -p quarvel-render 2>/dev/null) != *"-F _quarvel_render"* ]]; then
    echo "FAIL: quarvel-render is not completed by _quarvel_render"
    exit 1
fi

failures=0

# Completes the line LINE, the cursor at its end, and sets `offered` to the sorted offers, one a
# line. As bash does, the words are split at blanks that no backslash escapes, and ':' and '='
# are words of their own.
complete_line() {
    local line=$1 word='' c i
    COMP_LINE=$line
    COMP_POINT=${#line}
    COMP_WORDS=()
    for ((i = 0; i < ${#line}; i++)); do
        c=${line:i:1}
        case $c in
            \\)
                word+=${line:i:2}
                i=$((i + 1))
                ;;
            ' ')
                [[ $word ]] && COMP_WORDS+=("$word")
                word=''
                ;;
            [:=])
                [[ $word ]] && COMP_WORDS+=("$word")
                COMP_WORDS+=("$c")
                word=''
                ;;
            *)
                word+=$c
                ;;
        esac
    done
    # The word under the cursor, empty after a blank.
    if [[ $word || $line == *' ' || ${#COMP_WORDS[@]} -eq 0 ]]; then
        COMP_WORDS+=("$word")
    fi
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _quarvel_render 2>/dev/null
    offered=$(printf '%s\n' "${COMPREPLY[@]}" | sort)
}

# check LINE OFFER... : the offers must include every OFFER; an OFFER written !NAME must not be
# among them.
check() {
    local line=$1 want
    shift
    complete_line "$line"
    for want in "$@"; do
        if [[ $want == !* ]]; then
            if grep -qxF -- "${want#!}" <<<"$offered"; then
                echo "FAIL: '$line' offers ${want#!}; it offers: ${offered//$'\n'/ }"
                failures=$((failures + 1))
            fi
        elif ! grep -qxF -- "$want" <<<"$offered"; then
            echo "FAIL: '$line' does not offer $want; it offers: ${offered//$'\n'/ }"
            failures=$((failures + 1))
        fi
    done
}

# check_exactly LINE OFFER... : the offers must be these, no more.
check_exactly() {
    local line=$1 want
    shift
    complete_line "$line"
    want=$(printf '%s\n' "$@" | sort)
    if [[ $offered != "$want" ]]; then
        echo "FAIL: '$line' offers: ${offered//$'\n'/ }; expected: $*"
        failures=$((failures + 1))
    fi
}

cd "$work/files" || exit 2

check_exactly 'quarvel-render --fr' --frames
check_exactly 'quarvel-render b.3ds --co' --codec --codecs
check 'quarvel-render b.3ds --' --output --size --info --threads --help --version --codecs \
    --format --depth-range --sidecar \
    --rotate --clicks --move-x --move-y --move-z --frames --turns --scale-by --bmp-sequence \
    --avi --fps --codec --quality --key-frames --data-rate
check 'quarvel-render b.3ds -' -o -h
check_exactly 'quarvel-render b.3ds --view b' back bottom

check 'quarvel-render b.3ds -o ' a.bmp e.PNG f.exr g.pfm sub/ '!b.3ds' '!h.json'
check 'quarvel-render b.3ds --output ' a.bmp e.PNG sub/ '!b.3ds'
check 'quarvel-render b.3ds --frames 10 --bmp-sequence ' a.bmp e.PNG sub/ '!b.3ds'
check 'quarvel-render b.3ds --frames 10 --avi ' sub/ '!a.bmp' '!b.3ds' '!e.PNG'
check 'quarvel-render b.3ds -o a.exr --sidecar ' h.json sub/ '!a.bmp' '!b.3ds'
check_exactly 'quarvel-render b.3ds --format ' bmp png png16 pfm exr
check_exactly 'quarvel-render b.3ds --format png' png png16
check_exactly 'quarvel-render b.3ds --depth-range ' ''
check 'quarvel-render --depth-range 10,20 ' b.3ds '!a.bmp'
check 'quarvel-render ' b.3ds sub/ '!a.bmp'
check 'quarvel-render -o a.bmp ' b.3ds sub/ '!a.bmp'
check 'quarvel-render b.3ds -o sub/' sub/c.BMP
check_exactly 'quarvel-render d\ ' 'd e.3DS'
check_exactly 'quarvel-render b.3ds --size 800x600 ' ''

check_exactly 'quarvel-render b.3ds --clicks ' x: y: z:
check_exactly 'quarvel-render b.3ds --rotate y' y:
check_exactly 'quarvel-render b.3ds --clicks x:' ''
check_exactly 'quarvel-render b.3ds --frames ' ''
check 'quarvel-render b.3ds --clicks x:-4 --o' --output

check_exactly 'quarvel-render b.3ds --frames 10 --avi a.avi --codec F' FFV1 FFVH FMP4
check 'quarvel-render b.3ds --frames 10 --avi a.avi --codec ' FFV1 dpx none raw 0 '!FourCC'

# Under readline compopt works, and the names are completed as file names: folders are given
# bare, for readline marks them itself.
compopt_args=''
# shellcheck disable=SC2317  # called by the completion function
compopt() {
    compopt_args+=" $*"
}
check 'quarvel-render b.3ds -o ' a.bmp sub '!sub/' '!b.3ds'
if [[ $compopt_args != *'-o filenames'* ]]; then
    echo "FAIL: '-o ' does not complete file names (compopt:$compopt_args)"
    failures=$((failures + 1))
fi
unset -f compopt

if ((failures)); then
    echo "$failures completion check(s) failed"
    exit 1
fi
echo "every completion check passed"
