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
# SNAPSHOT=1 builds our programs from the last commit (exported beside the
# build) rather than from the working tree, so edits in progress in a shared
# tree do not end up in the figures.
if [ "${SNAPSHOT:-0}" = 1 ]; then
  OUR_SRC=$BUILD_DIR/head-src OUR_BUILD=$BUILD_DIR/head-build
else
  OUR_SRC=$REPO_DIR OUR_BUILD=$BUILD_DIR
fi
CLI=$OUR_BUILD/app/vipimport-cli

mkdir -p "$DATA_DIR" "$TOOLS_DIR"

die() { echo "$*" >&2; exit 1; }

need_shared() {
  [ -f "$SHARED_BENCH/gen_workbooks.py" ] || die "shared baselines not found beside the repository ($SHARED_BENCH); set SHARED_BENCH"
}

# Copies the last commit into OUR_SRC, touching only the files that changed,
# so that the build after a new commit recompiles only what it changed.
export_head() {
  local tmp f
  tmp=$(mktemp -d) || die "no temporary folder"
  git -C "$REPO_DIR" archive HEAD | tar -x -C "$tmp" || die "cannot export the last commit"
  mkdir -p "$OUR_SRC"
  (cd "$tmp" && find . -type f) | while read -r f; do
    if ! cmp -s "$tmp/$f" "$OUR_SRC/$f"; then
      mkdir -p "$(dirname "$OUR_SRC/$f")" && cp "$tmp/$f" "$OUR_SRC/$f"
    fi
  done
  (cd "$OUR_SRC" && find . -type f) | while read -r f; do
    [ -e "$tmp/$f" ] || rm -f "$OUR_SRC/$f"
  done
  rm -rf "$tmp"
  echo "our programs built from commit $(git -C "$REPO_DIR" rev-parse --short HEAD)" >&2
}

# build_tree SRC BUILD TARGETS...: configures BUILD once and builds the
# targets there (two jobs at most: the machine is shared).
build_tree() {
  local src=$1 build=$2
  shift 2
  if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DVIPIMPORT_WERROR=ON -DVIPIMPORT_WINDOW=OFF -DVIPIMPORT_TESTS=OFF >/dev/null || die "cmake of $src failed"
  fi
  ninja -C "$build" -j2 "$@" >/dev/null || die "build of $* in $build failed"
}

# The commit our programs come from, and whether the working tree they were
# built from differs from it.
ours_revision() {
  local rev
  rev=$(git -C "$REPO_DIR" rev-parse --short HEAD)
  if [ "${SNAPSHOT:-0}" != 1 ] && ! git -C "$REPO_DIR" diff --quiet HEAD -- src app CMakeLists.txt cmake bench/CMakeLists.txt 'bench/*.cpp'; then
    rev="$rev with uncommitted changes"
  fi
  echo "$rev"
}

# Builds our targets in OUR_BUILD.
build_ours() {
  [ "${SNAPSHOT:-0}" = 1 ] && export_head
  build_tree "$OUR_SRC" "$OUR_BUILD" "$@"
}

# BEFORE=REVISION: the same programs built from an earlier commit as well,
# measured beside ours in the same run (sides before_*). The commit is
# exported with git archive into a folder of its own under BUILD_DIR (outside
# git, kept for the next run) and built as it was, with its own CMake files
# and program sources. Sets BEFORE_SHA, BEFORE_BUILD and BEFORE_CLI; without
# BEFORE it does nothing and leaves BEFORE_SHA empty.
BEFORE=${BEFORE:-}
BEFORE_SHA="" BEFORE_BUILD="" BEFORE_CLI=""
build_before() {  # TARGETS...
  [ -n "$BEFORE" ] || return 0
  local sha root
  sha=$(git -C "$REPO_DIR" rev-parse --verify --quiet "$BEFORE^{commit}") ||
    die "BEFORE: not a commit of this repository: $BEFORE"
  root=$BUILD_DIR/before-$sha
  if [ ! -f "$root/src/.exported" ]; then
    rm -rf "$root/src" && mkdir -p "$root/src" || die "cannot make $root/src"
    git -C "$REPO_DIR" archive "$sha" | tar -x -C "$root/src" || die "cannot export $BEFORE"
    touch "$root/src/.exported"
  fi
  BEFORE_SHA=$(git -C "$REPO_DIR" rev-parse --short "$sha")
  BEFORE_BUILD=$root/build
  BEFORE_CLI=$BEFORE_BUILD/app/vipimport-cli
  echo "before: programs built from commit $BEFORE_SHA" >&2
  build_tree "$root/src" "$BEFORE_BUILD" "$@"
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
# M_WALL (median seconds), M_CPU (median user + system seconds: less moved by
# other load on the machine than the wall time), M_USER (median user
# seconds: the program's own work, without the kernel's writes and flushes),
# M_RSS (median peak RSS in KB), M_OUT and M_ERR (stdout and stderr of the
# last run) and appends "LABEL wall cpu rss" to $RESULTS when that is set.
# A failed run stops the side: M_* are "nan" and it returns 1.
measure() {
  local label=$1 prepare=$2 i
  shift 2
  for ((i = 0; i < RUNS; i++)); do
    sample "$label" "$prepare" "$@" || { failed "$label"; return 1; }
  done
  summarise "$label"
}

# measure_pair A PREPARE_A CMD_A AFTER_A B PREPARE_B CMD_B AFTER_B
# Two sides RUNS times each, taking turns (A, B, A, B, ...), so that a change
# in the machine's load falls on both alike; for a ratio of A to B. CMD_A and
# CMD_B name arrays that hold the commands. After a side's last run, with
# M_* set as measure sets them, its AFTER snippet runs (the table row, made
# from what that run left in the store, before the other side's run replaces
# it). A side whose run fails drops out; the other goes on.
measure_pair() {
  local pair_a=$1 pair_prepare_a=$2 pair_after_a=$4 pair_b=$5 pair_prepare_b=$6 pair_after_b=$8
  local -n pair_cmd_a=$3 pair_cmd_b=$7
  local i pair_ok_a=1 pair_ok_b=1
  for ((i = 0; i < RUNS; i++)); do
    if ((pair_ok_a)); then
      if sample "$pair_a" "$pair_prepare_a" "${pair_cmd_a[@]}"; then
        ((i < RUNS - 1)) || { summarise "$pair_a" && eval "$pair_after_a"; }
      else
        pair_ok_a=0 && failed "$pair_a"
      fi
    fi
    if ((pair_ok_b)); then
      if sample "$pair_b" "$pair_prepare_b" "${pair_cmd_b[@]}"; then
        ((i < RUNS - 1)) || { summarise "$pair_b" && eval "$pair_after_b"; }
      else
        pair_ok_b=0 && failed "$pair_b"
      fi
    fi
  done
}

# with_before A B PREPARE CMD_A AFTER_A CMD_B AFTER_B: side A (ours), and
# with BEFORE side B (the same from the earlier build) taking turns with it
# (measure_pair); without BEFORE, A alone (measure, then AFTER_A).
with_before() {
  if [ -n "$BEFORE_SHA" ]; then
    measure_pair "$1" "$3" "$4" "$5" "$2" "$3" "$6" "$7"
  else
    local -n with_before_cmd=$4
    measure "$1" "$3" "${with_before_cmd[@]}" && eval "$5"
  fi
}

# The runs of a side so far: space-separated samples per label.
declare -A S_WALL=() S_CPU=() S_USER=() S_RSS=()
# sample LABEL PREPARE CMD...: one run of a side (PREPARE, then CMD timed);
# sets M_OUT and M_ERR; returns 1 when CMD fails.
sample() {
  local label=$1 prepare=$2
  shift 2
  local tf of ef w u s r
  tf=$(mktemp) of=$(mktemp) ef=$(mktemp)
  eval "$prepare" || die "$label: preparation failed"
  if ! /usr/bin/time -f "%e %U %S %M" -o "$tf" "$@" >"$of" 2>"$ef"; then
    echo "$label: failed:" >&2
    tail -5 "$ef" >&2
    rm -f "$tf" "$of" "$ef"
    return 1
  fi
  read -r w u s r < <(tail -1 "$tf")
  S_WALL[$label]+=" $w" S_CPU[$label]+=" $(calc "$u + $s")" S_USER[$label]+=" $u" S_RSS[$label]+=" $r"
  M_OUT=$(cat "$of")
  M_ERR=$(cat "$ef")
  rm -f "$tf" "$of" "$ef"
  local runs=(${S_WALL[$label]})
  echo "  $label run ${#runs[@]}: ${w} s wall, $(calc "$u + $s") s cpu (${u} s user), $((r / 1024)) MB" >&2
}
median() { printf '%s\n' $1 | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
# summarise LABEL: the medians of a side's runs into M_*, and its samples
# forgotten.
summarise() {
  local label=$1
  M_WALL=$(median "${S_WALL[$label]}")
  M_CPU=$(median "${S_CPU[$label]}")
  M_USER=$(median "${S_USER[$label]}")
  M_RSS=$(median "${S_RSS[$label]}")
  forget "$label"
  [ -n "${RESULTS:-}" ] && echo "$label $M_WALL $M_CPU $M_RSS" >>"$RESULTS"
  return 0
}
# forget LABEL: a side's samples dropped (after its summary or a failure).
forget() {
  unset "S_WALL[$1]" "S_CPU[$1]" "S_USER[$1]" "S_RSS[$1]"
}
failed() {  # LABEL: a side that failed
  forget "$1"
  M_WALL=nan M_CPU=nan M_USER=nan M_RSS=nan M_OUT=""
}

# Floating-point helper: calc "expression" (awk syntax).
calc() { awk "BEGIN { printf \"%.${2:-2}f\", $1 }"; }

# A throw-away PostgreSQL server on loopback for one benchmark run: initdb in
# a temporary folder, a free port, trust authentication on 127.0.0.1 only,
# stopped and removed on exit. PostgreSQL refuses to run as root, so under
# root the server belongs to the unprivileged "postgres" account (or nobody).
# PG_SERVER_OPTS adds server settings ("-c log_statement=all").
PG_DIR="" PG_PORT="" PG_CONNECT=""
pg_bin() {
  local d
  d=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
  [ -n "$d" ] || die "PostgreSQL server binaries not found (package postgresql)"
  echo "$d"
}
pg_as() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u "$PG_USER" -- "$@"
  else
    "$@"
  fi
}
pg_start() {
  local bin
  bin=$(pg_bin)
  PG_USER=$(getent passwd postgres >/dev/null && echo postgres || echo nobody)
  PG_DIR=$(mktemp -d /tmp/vipbench-pg.XXXXXX)
  [ "$(id -u)" -eq 0 ] && chown "$PG_USER" "$PG_DIR"
  PG_PORT=$("$PY" -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  trap pg_stop EXIT
  pg_as "$bin/initdb" -D "$PG_DIR/data" -A trust -U vipbench -E UTF8 --locale=C.UTF-8 >"$PG_DIR/initdb.log" 2>&1 ||
    die "initdb failed: $(tail -3 "$PG_DIR/initdb.log")"
  pg_as "$bin/pg_ctl" -D "$PG_DIR/data" -l "$PG_DIR/server.log" -w \
    -o "-p $PG_PORT -k $PG_DIR -c listen_addresses=127.0.0.1 ${PG_SERVER_OPTS:-}" start >/dev/null ||
    die "the PostgreSQL server did not start: $(tail -3 "$PG_DIR/server.log")"
  PG_CONNECT="Provider=MSDASQL;Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=$PG_PORT;Database=vipbench;Uid=vipbench"
  echo "PostgreSQL $("$bin/postgres" --version | awk '{print $3}') on 127.0.0.1:$PG_PORT" >&2
}
pg_stop() {
  [ -n "$PG_DIR" ] || return 0
  pg_as "$(pg_bin)/pg_ctl" -D "$PG_DIR/data" -m fast -w stop >/dev/null 2>&1
  rm -rf "$PG_DIR"
  PG_DIR=""
}
# A fresh, empty database "vipbench" on the server.
pg_fresh_db() {
  local bin
  bin=$(pg_bin)
  "$bin/psql" -q -h 127.0.0.1 -p "$PG_PORT" -U vipbench -d postgres \
    -c "DROP DATABASE IF EXISTS vipbench" -c "CREATE DATABASE vipbench" >/dev/null || return 1
}
pg_sql() {  # SQL: prints the result unaligned
  "$(pg_bin)/psql" -qAt -h 127.0.0.1 -p "$PG_PORT" -U vipbench -d vipbench -c "$1"
}

# Fresh SQLite stores: one that init-store makes (WAL), the same schema with
# SQLite's default rollback journal, and one from the peers' schema.sql.
fresh_init_store() {  # PATH
  rm -f "$1" "$1-wal" "$1-shm" "$1-journal"
  "$CLI" init-store --connect "Provider=SQLite;Data Source=$1" >/dev/null
}
fresh_rollback_store() {  # PATH
  fresh_init_store "$1" && sqlite3 "$1" "PRAGMA journal_mode=DELETE" >/dev/null
}
fresh_peer_store() {  # PATH
  rm -f "$1" "$1-wal" "$1-shm" "$1-journal"
  sqlite3 "$1" <"$SHARED_BENCH/schema.sql"
}
# What landed: members, entries and the two counters, one line.
sqlite_landed() {  # PATH
  sqlite3 "$1" "SELECT 'members ' || (SELECT count(*) FROM VipCardMaster) || ' entries ' ||
    (SELECT count(*) FROM VIPCardDetail) || ' counters ' ||
    IFNULL((SELECT group_concat(ASN_TYPE || '=' || ASN_NO, ',') FROM AutoSerialNo), '-')"
}
pg_landed() {
  pg_sql "SELECT 'members ' || (SELECT count(*) FROM VipCardMaster) || ' entries ' ||
    (SELECT count(*) FROM VIPCardDetail) || ' counters ' ||
    COALESCE((SELECT string_agg(ASN_TYPE || '=' || ASN_NO, ',') FROM AutoSerialNo), '-')"
}
# A digest of every row a store holds in the four tables an import writes,
# in key order; the entries' VCD_DateTime (the clock at the write) is left
# out, so two runs of the same import on the same day give the same digest.
sqlite_digest() {  # PATH
  local detail
  detail=$(sqlite3 "$1" "SELECT group_concat(name) FROM pragma_table_info('VIPCardDetail') WHERE name <> 'VCD_DateTime'")
  sqlite3 "$1" "SELECT * FROM VipCardType ORDER BY VCT_No; SELECT * FROM VipCardMaster ORDER BY VCM_ID;
    SELECT $detail FROM VIPCardDetail ORDER BY VCD_ID; SELECT * FROM AutoSerialNo ORDER BY ASN_TYPE" |
    md5sum | cut -c1-12
}
pg_digest() {
  pg_sql "SELECT (SELECT string_agg(to_jsonb(t)::text, '|' ORDER BY vct_no) FROM VipCardType t) ||
    (SELECT string_agg(to_jsonb(m)::text, '|' ORDER BY vcm_id) FROM VipCardMaster m) ||
    (SELECT string_agg((to_jsonb(d) - 'vcd_datetime')::text, '|' ORDER BY vcd_id) FROM VIPCardDetail d) ||
    (SELECT string_agg(to_jsonb(a)::text, '|' ORDER BY asn_type) FROM AutoSerialNo a)" |
    md5sum | cut -c1-12
}
# same_rows A B TEXT: whether two sides landed the same rows and counters
# (or, for walks, read the same cells), from the landed_LABEL and
# digest_LABEL their table rows set, and printed the same log where both set
# log_LABEL (a digest of stdout). Prints nothing when either side is missing.
same_rows() {
  local la=landed_$1 lb=landed_$2 da=digest_$1 db=digest_$2 ga=log_$1 gb=log_$2 logs=""
  [ -n "${!la:-}" ] && [ -n "${!lb:-}" ] || return 0
  if [ -n "${!ga:-}" ] && [ -n "${!gb:-}" ]; then
    [ "${!ga}" = "${!gb}" ] && logs=", the same log" || logs=", but DIFFERENT logs (digests ${!ga} and ${!gb})"
  fi
  if [ "${!la}" = "${!lb}" ] && [ "${!da}" = "${!db}" ]; then
    echo "- $3: $1 and $2 agree: ${!la}, digest ${!da}$logs"
  else
    echo "- $3: $1 and $2 DIFFER: ${!la}, digest ${!da} against ${!lb}, digest ${!db}$logs"
  fi
}

# The first N member lines of a TSV with its title row.
tsv_head() {  # SRC N OUT
  [ -s "$3" ] || head -n $(($2 + 1)) "$1" >"$3"
}
