#!/usr/bin/env bash
# Builds the fuzz preset (clang, libFuzzer, ASan + UBSan, coverage in every
# library) and runs one fuzz target or all of them, each on its corpus in
# fuzz/corpus/NAME, which keeps the new inputs it finds (commit those worth
# keeping; the test suite replays the folder). Crashes are written to
# build/fuzz/findings/NAME/: add each to the corpus with its mend.
#   scripts/fuzz.sh [TARGET|all] [SECONDS per target, default 60]
set -euo pipefail
cd "$(dirname "$0")/.."

target=${1:-all}
seconds=${2:-60}
case "$seconds" in
  ''|*[!0-9]*) echo "fuzz.sh: SECONDS must be a whole number: $seconds" >&2; exit 2 ;;
esac

scripts/setup-deps.sh clang libclang-rt-14-dev
cmake --preset fuzz >/dev/null

targets=$(sed -n 's/^set(FUZZ_TARGETS \(.*\))$/\1/p' fuzz/CMakeLists.txt)
if [ "$target" != all ]; then
  case " $targets " in
    *" $target "*) targets=$target ;;
    *) echo "fuzz.sh: no target $target (targets: $targets)" >&2; exit 2 ;;
  esac
fi

for name in $targets; do
  cmake --build --preset fuzz --target "fuzz_$name"
  mkdir -p "fuzz/corpus/$name" "build/fuzz/findings/$name"
  echo "== fuzz_$name for $seconds s"
  build/fuzz/fuzz/"fuzz_$name" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="build/fuzz/findings/$name/" "fuzz/corpus/$name"
done
