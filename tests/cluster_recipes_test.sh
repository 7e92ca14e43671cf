#!/bin/bash
# The recipes of cli/cluster on a small collection, each against one quarvel-render --batch run
# of the same list: GNU parallel on this machine, the same through parallel's ssh logins (':' is
# this machine), and the Slurm job array, whose script must pass bash -n and, under a stand-in
# sbatch that runs the array's tasks one after another, give the same outputs. Every path holds
# a blank: the list, the models' folder and the output folders.
# Usage: cluster_recipes_test.sh QUARVEL_RENDER SOURCE_DIR
set -euo pipefail
render=$1 source=$2
work=$(mktemp -d "/tmp/quarvel cluster XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir bin "model files"
for m in fels test1 room cube_with_materials bunny-res4 CameraRollAnim wrong; do
    cp "$source/tests/data/$m.3ds" "model files/$m one.3ds"
    echo "$work/model files/$m one.3ds"
done >"the list.txt"
options=(--root "$work/model files" --camera perspective --views 3 --size 128x128 --mask)
fail() {
    echo "FAILED: $*" >&2
    exit 1
}

# The outputs of a run match the reference's, file for file, and its results hold a row for
# every model of the list.
same_as_reference() {
    diff -r -x 'results*' ref "$1" >/dev/null || fail "$1 differs from one run"
    [ "$(cat "$1"/results*.tsv | grep -vc '^model')" -eq 7 ] || fail "$1 lacks result rows"
}

usage=$("$source/cli/cluster/parallel-render" 2>&1) && fail "parallel-render ran without arguments"
[[ $usage == Usage:* && $usage != *'$#'* ]] || fail "parallel-render's usage is not its usage text"

status=0
"$render" --batch "the list.txt" --out-dir ref "${options[@]}" 2>ref.err || status=$?
[ $status -eq 1 ] || fail "the reference run ended with $status, not 1 (wrong.3ds is broken)"
[ "$(find ref -name .quarvel-done | wc -l)" -eq 6 ] || fail "the reference run is incomplete"

export QUARVEL_RENDER=$render
"$source/cli/cluster/parallel-render" "the list.txt" "par two" 3 "${options[@]}" 2>par.err || true
same_as_reference "par two"
echo : >nodes.txt
PARALLEL='--sshloginfile nodes.txt' "$source/cli/cluster/parallel-render" "the list.txt" "ssh two" \
    2 "${options[@]}" 2>ssh.err || true
same_as_reference "ssh two"

bash -n "$source/cli/cluster/slurm-render.sbatch" || fail "the Slurm script does not parse"
cat >bin/sbatch <<'STANDIN'
#!/bin/bash
# A stand-in for Slurm's sbatch: runs the tasks of --array=LO-HI one after another, with the
# variables Slurm gives each task.
array=
while [[ ${1:-} == --* ]]; do
    [[ $1 == --array=* ]] && array=${1#--array=}
    shift
done
script=$1
shift
lo=${array%-*} hi=${array#*-}
for ((i = lo; i <= hi; i++)); do
    SLURM_ARRAY_TASK_ID=$i SLURM_ARRAY_TASK_MIN=$lo SLURM_ARRAY_TASK_MAX=$hi \
        SLURM_ARRAY_TASK_COUNT=$((hi - lo + 1)) SLURM_CPUS_PER_TASK=1 bash "$script" "$@" || true
done
STANDIN
chmod +x bin/sbatch
PATH=$work/bin:$PATH sbatch --array=0-3 "$source/cli/cluster/slurm-render.sbatch" "the list.txt" \
    "slurm two" "${options[@]}" 2>slurm.err
same_as_reference "slurm two"
echo "the recipes give the outputs of one run"
