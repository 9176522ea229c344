# Shared helpers of the benchmark drivers (sourced, not run).
#
# Every figure is a whole-process one: wall time and peak resident set size
# as /usr/bin/time reports them, start-up included. Each side runs RUNS times
# (3 unless set) and the median is kept, so a noisy neighbour on the machine
# moves one sample, not the figure.

BENCH_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
REPO_DIR=$(cd "$BENCH_DIR/.." && pwd)
# The peers' tools live beside the repository, in the shared folder.
SHARED_BENCH=${SHARED_BENCH:-$(cd "$REPO_DIR/../shared/bench" 2>/dev/null && pwd)}
BUILD_DIR=${BUILD_DIR:-$REPO_DIR/build-bench}
DATA_DIR=${DATA_DIR:-$BUILD_DIR/data}
TOOLS_DIR=$BUILD_DIR/tools
RUNS=${RUNS:-3}
PY=/usr/bin/python3
CLI=$BUILD_DIR/app/vipimport-cli

mkdir -p "$DATA_DIR" "$TOOLS_DIR"

die() { echo "$*" >&2; exit 1; }

need_shared() {
  [ -f "$SHARED_BENCH/gen_workbooks.py" ] || die "shared baselines not found beside the repository ($SHARED_BENCH); set SHARED_BENCH"
}

# Builds our targets in BUILD_DIR (two jobs at most: the machine is shared).
build_ours() {
  if [ ! -f "$BUILD_DIR/build.ninja" ]; then
    cmake -S "$REPO_DIR" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DVIPIMPORT_WERROR=ON -DVIPIMPORT_WINDOW=OFF -DVIPIMPORT_TESTS=OFF >/dev/null || die "cmake failed"
  fi
  ninja -C "$BUILD_DIR" -j2 "$@" >/dev/null || die "build of $* failed"
}

# Generates a workbook (and its TSV of cell texts) once; later runs reuse it.
gen_members() {  # OUT ROWS [TSV]
  local out=$1 rows=$2 tsv=${3:-}
  [ -s "$out" ] && { [ -z "$tsv" ] || [ -s "$tsv" ]; } && return 0
  need_shared
  echo "generating $(basename "$out") ($rows rows)" >&2
  if [ -n "$tsv" ]; then
    "$PY" "$SHARED_BENCH/gen_workbooks.py" members "$out" "$rows" --tsv "$tsv" || die "generation failed"
  else
    "$PY" "$SHARED_BENCH/gen_workbooks.py" members "$out" "$rows" || die "generation failed"
  fi
}

gen_categories() {  # OUT
  [ -s "$1" ] && return 0
  need_shared
  "$PY" "$SHARED_BENCH/gen_workbooks.py" categories "$1" || die "generation failed"
}

# measure LABEL PREPARE CMD...
# Runs PREPARE (a shell snippet, may be ":") then CMD, RUNS times. Sets
# M_WALL (median seconds), M_RSS (median peak RSS in KB), M_OUT (stdout of the
# last run) and appends "LABEL wall rss" to $RESULTS when that is set.
measure() {
  local label=$1 prepare=$2
  shift 2
  local walls=() rsss=() i tf of ef
  tf=$(mktemp) of=$(mktemp) ef=$(mktemp)
  for ((i = 0; i < RUNS; i++)); do
    eval "$prepare" || die "$label: preparation failed"
    if ! /usr/bin/time -f "%e %M" -o "$tf" "$@" >"$of" 2>"$ef"; then
      echo "$label: failed:" >&2
      tail -5 "$ef" >&2
      rm -f "$tf" "$of" "$ef"
      M_WALL=nan M_RSS=nan M_OUT=""
      return 1
    fi
    read -r w r < <(tail -1 "$tf")
    walls+=("$w") rsss+=("$r")
    echo "  $label run $((i + 1)): ${w} s, $((r / 1024)) MB" >&2
  done
  M_WALL=$(printf '%s\n' "${walls[@]}" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
  M_RSS=$(printf '%s\n' "${rsss[@]}" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
  M_OUT=$(cat "$of")
  M_ERR=$(cat "$ef")
  rm -f "$tf" "$of" "$ef"
  [ -n "${RESULTS:-}" ] && echo "$label $M_WALL $M_RSS" >>"$RESULTS"
  return 0
}

# Floating-point helper: calc "expression" (awk syntax).
calc() { awk "BEGIN { printf \"%.${2:-2}f\", $1 }"; }
