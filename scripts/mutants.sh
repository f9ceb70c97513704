#!/usr/bin/env bash
# Mutation check: applies each one-line fault listed in scripts/mutants/ in turn to a
# scratch copy of the working tree, rebuilds it and runs the test suite. A mutant is
# "killed" when the build or a test fails, "survived" when everything passes, and "stale"
# when its source text no longer occurs exactly once (the code moved: update the mutant).
# A known survivor carries its reason and is counted apart. The test that killed a mutant
# in an earlier run, as the scratch folder remembers it, is built alone and runs first.
#   scripts/mutants.sh [name-pattern]   (an extended regular expression; default: all)
# Environment: MUTANT_TIMEOUT (seconds for each run of ctest, default 300; a mutant's tests
#                              take one run, or two when its earlier killer runs first),
#              MUTANT_JOBS (parallel tests, default 1),
#              MUTANT_SCRATCH (the scratch folder, default build-mutants).
#
# The mutants live in scripts/mutants/, one file for each area of the code (app.txt for
# src/app/, standin.txt for tools/standin/, packaging.txt for packaging/, ...). Each mutant:
# "@ name file", then "- text" to find (exactly once) and "+ text" to put in its place.
# Texts are taken verbatim after "- " and "+ "; an empty "+" drops the text. A line
# "? reason" after the "@" line marks a known survivor: one that no test should kill, being
# the same as the original to a user or visible only to a test that restates the code.
# Never delete a survivor; kill it with a test or give its reason. Blank lines and lines
# starting with "#" are skipped.
set -euo pipefail
cd "$(dirname "$0")/.."
filter=${1:-}
timeout_seconds=${MUTANT_TIMEOUT:-300}
jobs=${MUTANT_JOBS:-1}
scratch=$(realpath -m "${MUTANT_SCRATCH:-build-mutants}")
scripts/install-dependencies.sh ccache
export CCACHE_BASEDIR=$scratch CCACHE_DIR=${CCACHE_DIR:-/work/.ccache}

# The mutants, in the order of their files' names (so the order is stable).
mutants() {
  cat scripts/mutants/*.txt
}

occurrences() { # file text
  { grep -oF -- "$2" "$1" || true; } | wc -l
}

# Replaces the one occurrence of text with replacement; bash's quoted pattern is literal.
apply_mutant() { # file text replacement
  local content
  content=$(<"$1")
  printf '%s\n' "${content/"$2"/"$3"}" >"$1"
}

prepare_scratch() {
  rm -rf "$scratch/tree"
  mkdir -p "$scratch/tree"
  git ls-files -z --cached --others --exclude-standard |
    xargs -0 cp --parents -t "$scratch/tree"
  # Each mutant relinks every test and program: without debug information and the
  # benchmarks, and with binutils' gold rather than its default linker, that takes 0.5 s
  # rather than 3 s. Where binutils comes without gold, the default one links.
  local linker=()
  if command -v ld.gold >/dev/null; then linker=(-DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=gold); fi
  cmake -S "$scratch/tree" -B "$scratch/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" -DVORLIN_BENCH=OFF "${linker[@]}" \
    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >"$scratch/cmake.log"
  ninja -C "$scratch/build" -t targets all >"$scratch/targets"
}

# Builds and tests read nothing: their standard input is the list of mutants.
build() { # [target]
  </dev/null cmake --build "$scratch/build" ${1:+--target "$1"} >"$scratch/build.log" 2>&1
}

# Whether the build has a target of that name: most tests are built as one of their own.
# The list is read from a file: grep -q ending a pipe from ninja early would fail the pipe.
has_target() { # name
  grep -q "^$1:" "$scratch/targets"
}

# The first test that failed, or the time limit.
first_failure() {
  grep -m1 -oE 'tst_[a-z_0-9-]+ [.*]+(Failed|Timeout|Exception|Subprocess)' "$scratch/test.log" |
    cut -d' ' -f1 | grep . || echo "over ${timeout_seconds} s"
}

# The test that killed each mutant in an earlier run ("name test" lines), which runs first:
# most mutants then cost that one test rather than every test before it.
killers=$scratch/killers
mkdir -p "$scratch"
touch "$killers"
last_killer() { # name
  awk -v name="$1" '$1 == name { print $2 }' "$killers"
}
remember_killer() { # name test
  { grep -v "^$1 " "$killers" || true; } >"$killers.new"
  echo "$1 $2" >>"$killers.new"
  mv "$killers.new" "$killers"
}

ctest_limited() {
  </dev/null timeout "$timeout_seconds" ctest --test-dir "$scratch/build" -j "$jobs" "$@" \
    >"$scratch/test.log" 2>&1
}

# The mutant's earlier killer, with only its own target built, fails again: most mutants then
# cost one compile and a link or two rather than relinking every program and test. Where it
# ran, $ran_alone names it.
killed_by_earlier_killer() { # name
  local killer
  killer=$(last_killer "$1")
  ran_alone=''
  [ -n "$killer" ] && has_target "$killer" && build "$killer" || return 1
  ran_alone=$killer
  ! ctest_limited -R "^$killer\$"
}

report_killed() { # name
  local killer
  killer=$(first_failure)
  echo "$1: killed ($killer)"
  if [[ $killer == tst_* ]]; then remember_killer "$1" "$killer"; fi
  killed=$((killed + 1))
}

# Stops at the first failing test, trying the mutant's earlier killer first.
run_tests() { # [name]
  local killer
  killer=$(last_killer "${1:-}")
  if [ -z "$killer" ]; then
    ctest_limited --stop-on-failure
  elif [ "$ran_alone" = "$killer" ]; then # it ran already, built alone
    ctest_limited --stop-on-failure -E "^$killer\$"
  else
    ctest_limited -R "^$killer\$" && ctest_limited --stop-on-failure -E "^$killer\$"
  fi
}

prepare_scratch
echo "baseline: building and testing the unchanged tree"
if ! build || ! run_tests; then
  echo "the unchanged tree fails its build or tests; see $scratch/*.log" >&2
  exit 2
fi

killed=0 survived=0 known=0 stale=0
name='' file='' text='' reason=''
while IFS= read -r line; do
  case $line in
  '#'* | '') ;; # a comment or a blank line
  '@ '*)
    read -r name file <<<"${line#@ }"
    reason=''
    ;;
  '? '*) reason=${line#'? '} ;;
  '- '*) text=${line#- } ;;
  '+'*)
    replacement=${line#+}
    replacement=${replacement# }
    [[ -z $filter || $name =~ $filter ]] || continue
    count=$(occurrences "$scratch/tree/$file" "$text")
    if [ "$count" -ne 1 ]; then
      echo "$name: stale ($count matches in $file)"
      stale=$((stale + 1))
      continue
    fi
    cp "$scratch/tree/$file" "$scratch/original"
    apply_mutant "$scratch/tree/$file" "$text" "$replacement"
    if killed_by_earlier_killer "$name"; then
      report_killed "$name"
    elif ! build; then
      echo "$name: killed (does not build)"
      killed=$((killed + 1))
    elif ! run_tests "$name"; then
      report_killed "$name"
    elif [ -n "$reason" ]; then
      echo "$name: survived (known: $reason)"
      known=$((known + 1))
    else
      echo "$name: survived"
      survived=$((survived + 1))
    fi
    cp "$scratch/original" "$scratch/tree/$file"
    ;;
  esac
done < <(mutants)
[ "$stale" -eq 0 ] || echo "$stale stale"
echo "$killed killed, $survived survived, $known known survivors, $((SECONDS / 60)) minutes"
