# Shared by the capture host's end-to-end test and its demonstration and figures (sourced): the
# test bed of tests/wine/entry_lib.sh (outside CTest: build/mingw/wineprefix and dist/ unless set),
# the runner, the stand-in engine, a sample installation with the engine in place, and one call
# that runs "--capture" through the runner.
capture_host_tests=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo_root=$(cd "$capture_host_tests/../../../../../.." && pwd)
export VORNAKEL_WINEPREFIX=${VORNAKEL_WINEPREFIX:-$repo_root/build/mingw/wineprefix}
export VORNAKEL_DIST_DIR=${VORNAKEL_DIST_DIR:-$repo_root/dist}
export VORNAKEL_SOURCE_DIR=${VORNAKEL_SOURCE_DIR:-$repo_root}
export VORNAKEL_WINE_SCRIPTS=${VORNAKEL_WINE_SCRIPTS:-$repo_root/scripts/wine}
source "$capture_host_tests/../entry_lib.sh"
runner=$VORNAKEL_DIST_DIR/windows-test/vornakel_capture_host_runner.exe
standin_engine=$VORNAKEL_DIST_DIR/windows-test/vornakel_capture_standin_engine.exe
for exe in "$runner" "$standin_engine"; do
  [ -f "$exe" ] || { echo "missing $exe (build the mingw preset first)" >&2; exit 1; }
done
# Wine turns the Unix arguments into a Windows command line in the locale's character set.
export LC_ALL=C.UTF-8
version_dir=$VORNAKEL_WINEPREFIX/drive_c/Program\ Files/Vornakel\ Connect/versions/1.0.0
engine_win='C:\Program Files\Vornakel Connect\versions\1.0.0\runtime/ffmpeg.exe'
work_win=$(winepath -w "$work")
shipped_win=$(winepath -w "$shipped")
test_twin_win=$(winepath -w "$test_twin")
standin_engine_win=$(winepath -w "$standin_engine")

# install_engine: a sample installation whose runtime/ffmpeg.exe is the stand-in engine.
install_engine() {
  "$VORNAKEL_SOURCE_DIR/scripts/wine/make_sample_install.sh" --ffmpeg "$standin_engine" \
    "$VORNAKEL_WINEPREFIX" 1.0.0 >/dev/null
}

# capture_with <program (Windows path)> [runner option]... -- [capture argument]...
# Runs "<program> --capture <arguments>" through the runner, standard input from /dev/null. Sets rc (the runner's status), exit_code (the capture host's, 0x%08X), and the
# files $work/out, $work/err (the capture host's, hence the engine's, standard output and error)
# and $work/report (the runner's report).
capture_with() {
  local program=$1 options=()
  shift
  while [ "$1" != -- ]; do options+=("$1"); shift; done
  shift
  rm -f "$work/report"
  rc=0
  wine "$runner" run --report "$work_win\\report" ${options[@]+"${options[@]}"} -- \
    "$program" --capture "$@" </dev/null >"$work/out" 2>"$work/err" || rc=$?
  exit_code=$(sed -n 's/^exit=//p' "$work/report" 2>/dev/null)
}

# engine_says <item>: the values the engine reported for <item>, one per line.
engine_says() { sed -n "s/^engine $1=//p" "$work/err"; }
