# Shared by the scripts that run programs under Wine: sourced, not run.
#   demo.sh, sign-check.sh, release-check.sh: a packed installer with the
#   sample installer program, run from the prefix's C: drive and read back
#   from its report;
#   wine-run, tests/win/restart-scenario.sh: the Wine server.

# The Wine server that goes with /usr/lib/wine/wine64.
QM_WINESERVER=/usr/lib/wine/wineserver64
[[ -x $QM_WINESERVER ]] || QM_WINESERVER=wineserver

# qm_wine_value WINE_RUN NAME: a variable of the environment that WINE_RUN
# runs programs in (WINEPREFIX, DISPLAY, ...); the prefix and the display are
# made on first use. Empty when WINE_RUN cannot prepare them.
qm_wine_value() {
  local lines
  lines=$("$1" --env) || return 1
  # shellcheck disable=SC2016 # expanded by the inner shell
  bash -c 'eval "$1" 2>/dev/null; printf "%s" "${!2}"' _ "$lines" "$2"
}

# qm_linux_path PREFIX PATH: the Linux path of a C:\ path of the prefix.
qm_linux_path() {
  local rest=${2#[Cc]:\\}
  printf '%s/drive_c/%s' "$1" "${rest//\\//}"
}

# qm_run_installer WINE_RUN PREFIX FOLDER FILE: copies FILE into C:\FOLDER of
# the prefix (made anew; never Z:, the Linux root) and runs it there, with
# the sample installer program reporting to C:\FOLDER\report.txt. Sets
# qm_status (the launcher's exit status), qm_elapsed_ms, qm_report (the
# report's Linux path) and qm_log (the run's output, a file in the same
# folder: other tests watch what appears beside it). LVXRUN_EXIT and
# QM_TIMEOUT (default 60 s: a launcher that shows an error waits for its
# message box) pass through.
qm_run_installer() {
  local wine_run=$1 prefix=$2 folder=$3 file=$4
  local dir name start
  dir=$(qm_linux_path "$prefix" "C:\\$folder")
  name=$(basename "$file")
  rm -rf "$dir"
  mkdir -p "$dir"
  cp "$file" "$dir/$name"
  qm_report=$dir/report.txt
  qm_log=$dir/run.log
  qm_status=0
  start=$(date +%s%N)
  LVXRUN_REPORT="C:\\$folder\\report.txt" QM_TIMEOUT=${QM_TIMEOUT:-60} \
    "$wine_run" "C:\\$folder\\$name" >"$qm_log" 2>&1 || qm_status=$?
  qm_elapsed_ms=$((($(date +%s%N) - start) / 1000000))
}

# qm_report_value KEY: the first value of KEY=value in the report.
qm_report_value() {
  sed -n "s/^$1=//p" "$qm_report" | head -1
}

# qm_check_installer_run PREFIX ENTRY...: checks the run that
# qm_run_installer made: the launcher ended with 0; the sample installer
# program ran once, to its end, with /quillimarkmode, beside each ENTRY (a
# path below the work folder, "\" between names); the work folder lay in
# the application data and is gone. One "ok: ..." or "FAIL: ..." line a
# check, and the run's log and report after a failure; false then.
qm_check_installer_run() {
  local prefix=$1 failed=0 entry folder
  shift
  qm_expect() { # qm_expect DESCRIPTION COMMAND...
    if "${@:2}"; then echo "ok: $1"; else echo "FAIL: $1"; failed=1; fi
  }
  qm_expect "the installer ends with status 0 ($qm_status)" test "$qm_status" -eq 0
  if [[ -f $qm_report ]]; then
    qm_expect "the installer program ran once and reported to its end" test "$(grep -cx end "$qm_report")" = 1
    qm_expect "... with /quillimarkmode" grep -qx "switch=yes" "$qm_report"
    for entry in "$@"; do
      qm_expect "... beside the unpacked $entry" grep -q " $(printf '%s' "$entry" | sed 's/\\/\\\\/g')\$" "$qm_report"
    done
    folder=$(qm_report_value folder)
    case $folder in
      'C:\'*'\Orvane\Lumavex\Quillimark\'????????)
        qm_expect "the work folder $folder is gone" test ! -e "$(qm_linux_path "$prefix" "$folder")" ;;
      *) qm_expect "the work folder ($folder) lies in the application data" false ;;
    esac
  else
    qm_expect "the installer program ran and reported" false
  fi
  ((failed == 0)) && return 0
  echo "--- run log"; cat "$qm_log"; echo "--- report"; cat "$qm_report" 2>/dev/null
  return 1
}
