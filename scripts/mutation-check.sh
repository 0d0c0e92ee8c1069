#!/usr/bin/env bash
# A hand-rolled mutation check: applies each source change of a list, one at a time, to a
# copy of the tree, builds the test binary and runs the tests, and tells whether some test
# failed (KILLED) or the change went unnoticed (SURVIVED).
#
#   scripts/mutation-check.sh [--rev REV | --in-place [--build DIR]] [--list FILE]
#                             [--only NAME,...] [--work DIR]
#
#   --rev REV     check the tree of a commit instead of the working tree (the list is
#                 always read from the working tree, so one list can be run against an
#                 older tree to compare)
#   --list FILE   the mutations (default scripts/mutations.txt, format described there)
#   --only NAMES  only these mutations (comma-separated)
#   --work DIR    where the copy and its build live (default $TMPDIR/spinlorex-mutation-ID,
#                 ID from the tree's path, so that checks of several worktrees stay apart);
#                 kept between runs, so later runs rebuild little (and ccache helps)
#   --in-place    mutate the working tree itself and build in an existing build folder
#                 (--build, default build/): far quicker when that build is current. Each
#                 file is put back after its mutation, and on an interruption too
#
# Each mutation runs the tests its "tests:" line names, else MUTATION_TESTS (a gtest
# filter, default: every suite of the desk's logic and of the audio engine). The
# unchanged tree must pass them first. A change that no longer builds is reported apart
# and counted neither way. Exit status 0 when nothing survived.
set -euo pipefail

# All of it in one function: bash reads it whole before running, so editing the list or
# this file during a long run cannot disturb that run.
main() {

root=$(cd "$(dirname "$0")/.." && pwd)
rev=""
list="$root/scripts/mutations.txt"
only=""
work=""
in_place=""
build=""
while [ $# -gt 0 ]; do
  case "$1" in
    --rev) rev="$2"; shift 2 ;;
    --list) list="$2"; shift 2 ;;
    --only) only="$2"; shift 2 ;;
    --work) work="$2"; shift 2 ;;
    --in-place) in_place=1; shift ;;
    --build) build="$2"; shift 2 ;;
    *) sed -n '2,24p' "$0"; exit 2 ;;
  esac
done
# The suites of the desk's logic and of the audio engine (the Qt desk and the programs
# are left out: they need more than the test binary).
default_tests="${MUTATION_TESTS:-Desk*:Deck*:PitchRender*:MasterTempo*:AudioEngine*:Curve*:Volume*:SampleConvert*:Mp3Reader*:WavReader*:SndfileReader*:PinnedWavOutput*-DeskApp*:DeskLibraryApp*:DeskProgram*:DeskDialog*}"
export SPINLOREX_AUDIO=null QT_QPA_PLATFORM=offscreen

# Each tree has its own work folder, and one run at a time holds it: in place, the folder
# keeps the originals of the mutated files, which a second run would wipe.
work="${work:-${TMPDIR:-/tmp}/spinlorex-mutation-$(printf %s "$root" | md5sum | cut -c1-8)}"
mkdir -p "$work"
exec 9>"$work/lock"
flock -n 9 || { echo "another mutation check is using $work"; exit 2; }

stage="$work/stage"   # the tree as checked out (in place: the originals of mutated files)
mutants="$work/mutants"
rm -rf "$stage" "$mutants"
mkdir -p "$work" "$stage" "$mutants"
if [ -n "$in_place" ]; then
  [ -z "$rev" ] || { echo "--in-place checks the working tree, not --rev"; exit 2; }
  tree="$root"
  build="${build:-$root/build}"
  [ -f "$build/build.ninja" ] || { echo "no build in $build"; exit 2; }
else
  tree="$work/tree"   # the copy that gets mutated (files only rewritten when they differ)
  build="$work/build"
  mkdir -p "$tree"
fi

# ---- The copy ------------------------------------------------------------------------
if [ -n "$in_place" ]; then
  :
elif [ -n "$rev" ]; then
  git -C "$root" archive "$rev" | tar -x -C "$stage"
else
  (cd "$root" && git ls-files -z --cached --others --exclude-standard | tar --null -T - -cf -) | tar -x -C "$stage"
fi
# Unchanged files keep their times, so the build directory stays valid.
[ -n "$in_place" ] || (cd "$stage" && find . -type f -print0) | while IFS= read -r -d '' f; do
  if ! cmp -s "$stage/$f" "$tree/$f"; then
    mkdir -p "$(dirname "$tree/$f")"
    cp "$stage/$f" "$tree/$f"
  fi
done
[ -n "$in_place" ] || (cd "$tree" && find . -type f -print0) | while IFS= read -r -d '' f; do
  [ -e "$stage/$f" ] || rm -f "$tree/$f"
done

# ---- The list: one folder per mutation with its name, file, tests, original, mutant ---
perl -e '
  my ($list, $out) = @ARGV;
  open(my $in, "<", $list) or die "cannot read $list\n";
  my ($n, $part, %m) = (0, "");
  sub flush {
    return unless defined $m{name};
    die "mutation $m{name}: needs file, original and mutant\n"
      unless defined $m{file} && defined $m{original} && defined $m{mutant};
    for my $k ("original", "mutant") { $m{$k} =~ s/\n+\z/\n/; }
    my $dir = sprintf("%s/%03d", $out, ++$n);
    mkdir $dir or die;
    for my $k ("name", "file", "tests", "original", "mutant") {
      open(my $f, ">", "$dir/$k") or die; print $f ($m{$k} // ""); close $f;
    }
    %m = (); $part = "";
  }
  while (my $line = <$in>) {
    if ($line =~ /^== (\S+)\s*$/) { flush(); $m{name} = $1; next; }
    if ($line =~ /^#( |$)/) { $part = ""; next; }  # a comment ends the text before it
    if ($part eq "" && $line =~ /^file: (\S+)\s*$/) { $m{file} = $1; next; }
    if ($part eq "" && $line =~ /^tests: (\S+)\s*$/) { $m{tests} = $1; next; }
    if ($line =~ /^--- original\s*$/) { $part = "original"; $m{original} = ""; next; }
    if ($line =~ /^\+\+\+ mutant\s*$/) { $part = "mutant"; $m{mutant} = ""; next; }
    if ($part ne "") { $m{$part} .= $line; next; }
    next if $line =~ /^\s*$/;
    die "$list: unexpected line: $line";
  }
  flush();
' "$list" "$mutants"

# Replaces the one occurrence of ORIGINAL in FILE by MUTANT; fails when it is not there
# exactly once (the list no longer matches the code).
apply() {
  perl -e '
    my ($file, $from, $to) = @ARGV;
    local $/;
    open(my $f, "<", $file) or die "no $file\n"; my $text = <$f>; close $f;
    open($f, "<", $from) or die; my $original = <$f>; close $f;
    open($f, "<", $to) or die; my $mutant = <$f>; close $f;
    my $count = () = $text =~ /\Q$original\E/g;
    exit 3 if $count != 1;
    $text =~ s/\Q$original\E/$mutant/;
    open($f, ">", $file) or die; print $f $text; close $f;
  ' "$1" "$2" "$3"
}

build_tests() {
  cmake --build "$build" --target spinlorex_tests >"$work/build.log" 2>&1
}
# The tests in two halves side by side (most of their time is spent waiting on each other's
# threads); fails when either half does.
run_tests() {
  local status=0 shard
  local pids=()
  for shard in 0 1; do
    GTEST_TOTAL_SHARDS=2 GTEST_SHARD_INDEX=$shard timeout 900 "$build/tests/spinlorex_tests" \
      --gtest_filter="$1" --gtest_brief=1 >"$work/tests.$shard.log" 2>&1 &
    pids+=($!)
  done
  wait "${pids[0]}" || status=1
  wait "${pids[1]}" || status=1
  cat "$work/tests.0.log" "$work/tests.1.log" >"$work/tests.log"
  return $status
}

# ---- The unchanged tree must build and pass ---------------------------------------------
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$tree" -B "$build" -G Ninja -DSPINLOREX_BENCH=OFF >"$work/configure.log" 2>&1 ||
    { cat "$work/configure.log"; exit 1; }
fi
echo "tree: ${rev:-working tree of $root}${in_place:+ (in place, built in $build)}"
build_tests || { tail -40 "$work/build.log"; echo "the unchanged tree does not build"; exit 1; }
run_tests "$default_tests" || { tail -40 "$work/tests.log"; echo "the unchanged tree fails its tests"; exit 1; }

# ---- Each mutation ------------------------------------------------------------------------
# In place, an interruption puts the file being mutated back.
mutated=""
trap '[ -z "$mutated" ] || cp "$stage/$mutated" "$tree/$mutated"' EXIT
trap 'exit 130' INT TERM
killed=0 survived=0 broken=0 missing=0
survivors=()
for dir in "$mutants"/*/; do
  name=$(cat "$dir/name")
  if [ -n "$only" ] && [[ ",$only," != *",$name,"* ]]; then continue; fi
  file=$(cat "$dir/file")
  tests=$(cat "$dir/tests"); tests=${tests:-$default_tests}
  status=0
  if [ -n "$in_place" ]; then
    mkdir -p "$(dirname "$stage/$file")"
    cp "$tree/$file" "$stage/$file"
    mutated="$file"
  fi
  apply "$tree/$file" "$dir/original" "$dir/mutant" || status=$?
  if [ "$status" -ne 0 ]; then
    printf '%-40s NOT-FOUND (the original text is not in %s exactly once)\n' "$name" "$file"
    missing=$((missing + 1))
    continue
  fi
  if ! build_tests; then
    result="DOES-NOT-BUILD $(grep -m1 -E 'error|FAILED' "$work/build.log" | cut -c1-80)"
    broken=$((broken + 1))
  elif run_tests "$tests"; then
    result="SURVIVED"; survived=$((survived + 1)); survivors+=("$name")
  else
    result="KILLED"; killed=$((killed + 1))
    result="KILLED   $(grep -m3 -o '^\[  FAILED  \] [A-Za-z0-9_./]*' "$work/tests.log" | sed 's/^\[  FAILED  \] //' | tr '\n' ' ')"
  fi
  # A plain copy: its new time makes the next build compile the original again.
  cp "$stage/$file" "$tree/$file"
  mutated=""
  printf '%-40s %s\n' "$name" "$result"
done

total=$((killed + survived))
echo "----"
echo "killed $killed of $total; survived $survived; did not build $broken; not found $missing"
[ "$survived" -eq 0 ] || echo "survivors: ${survivors[*]}"
[ "$survived" -eq 0 ] && [ "$missing" -eq 0 ]
}

main "$@"; exit
