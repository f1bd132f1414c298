#!/usr/bin/env bash
# Observes the restart of Windows without restarting anything.
#
# Under Wine, ExitWindowsEx ends every process of the Wine session (the Linux
# machine is not affected). So the scenario program runs in the launch
# tests' Wine prefix ($WINEPREFIX), which no other test uses while it runs
# (CTest's resource lock), and the session is ended completely before and
# after it. The calls are watched through Wine's relay trace,
# which launch-prefix.sh limits to ExitWindowsEx, AdjustTokenPrivileges,
# Sleep, MsgWaitForMultipleObjects and RemoveDirectoryA.
#
#   restart-scenario.sh WINE_RUN RESTART_SCENARIO.exe
set -uo pipefail
wine_run=$1
nt_scenario=$2
: "${WINEPREFIX:?the Wine prefix of the launch tests}"
# shellcheck source=scripts/wine-lib.sh
source "$(dirname "$0")/../../scripts/wine-lib.sh"
wineserver=$QM_WINESERVER
out_dir=$(mktemp -d)
report_dir=$WINEPREFIX/drive_c/qmtest/restart-scenario
trap 'rm -rf "$out_dir" "$report_dir"' EXIT

# A scenario that cannot run here fails, with the reason.
why=$("$wine_run" --can-run "$nt_scenario") || { echo "FAIL: restart scenario: $why"; exit 1; }

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Runs one scenario with the relay trace into a file, then ends what is left
# of its session (the restart is under way) and waits until it is gone.
run_scenario() { # program, output file
  QM_SESSION_MAY_END=1 WINEDEBUG=-all,+relay "$wine_run" "$1" >"$2" 2>&1
  "$wineserver" -k >/dev/null 2>&1
  "$wineserver" -w >/dev/null 2>&1
}

# The watched calls of the scenario's own thread, in order, one word each:
#   pause      the two-second pause before the clean-up (Sleep or a message
#              wait of 2000 ms)
#   remove     RemoveDirectoryA of the work folder ($QM_WORK_FOLDER)
#   privilege  AdjustTokenPrivileges
#   restart    ExitWindowsEx(EWX_REBOOT | EWX_FORCEIFHUNG, 0) (0x12); "restart-other"
#              with other arguments, EWX_FORCE (which ends programs without
#              asking, losing their unsaved work) among them
#   accepted   ExitWindowsEx returned TRUE
calls() { # output file
  local thread folder
  thread=$(sed -n 's/^thread=//p' "$1" | tr -d '\r')
  [[ -n $thread ]] || return 0
  # The trace shows a string argument in quotes, its backslashes doubled.
  folder="\"${QM_WORK_FOLDER:-}\""
  QM_TRACE_FOLDER=${folder//\\/\\\\} awk -v t="$thread:" '
      index($0, t) != 1 { next }
      /:Call KERNEL32\.Sleep\(000007d0\)/ { print "pause" }
      /:Call user32\.MsgWaitForMultipleObjects\([^,]*,[^,]*,[^,]*,000007d0,/ { print "pause" }
      /:Call KERNEL32\.RemoveDirectoryA\(/ && index($0, ENVIRON["QM_TRACE_FOLDER"]) { print "remove" }
      /:Call advapi32\.AdjustTokenPrivileges\(/ { print "privilege" }
      /:Call user32\.ExitWindowsEx\(/ { print (index($0, "ExitWindowsEx(00000012,00000000)") ? "restart" : "restart-other") }
      /:Ret  user32\.ExitWindowsEx\(\) retval=00000001/ { print "accepted" }
    ' "$1" | tr '\n' ' ' | sed 's/ $//'
}

# The calls seen must begin with the words expected; after them the
# launcher may still pause and remove the work folder before the session's
# end reaches it.
expect_calls() { # name, output file, expected words
  local seen
  seen=$(calls "$2")
  echo "$1: calls seen: ${seen:-(none)}"
  [[ "$seen " == "$3 "* ]] || { fail "$1: expected first: $3"; sed -n '/^restart_scenario/p; /^wine-run/p' "$2"; }
}

# A launch whose installer ends with 3386: the restart is asked for at once,
# before the pause and the clean-up: the privilege goes on, the restart is
# asked for (reboot, force only if hung, reason 0) and accepted, and the
# privilege goes off. Then, with a helper that the installer left running
# from the work folder, the launcher neither waits for it nor removes
# anything: the work folder is left to the restart and the next sweep.
for run in nt nt-helper; do
  rm -rf "$report_dir"
  if [[ $run == nt-helper ]]; then
    QM_SCENARIO_HELPER=1 run_scenario "$nt_scenario" "$out_dir/$run.txt"
  else
    run_scenario "$nt_scenario" "$out_dir/$run.txt"
  fi
  QM_WORK_FOLDER=$(sed -n 's/^workfolder=//p' "$out_dir/$run.txt" | tr -d '\r')
  [[ -n $QM_WORK_FOLDER ]] || fail "$run: the scenario did not start"
  export QM_WORK_FOLDER
  expect_calls $run "$out_dir/$run.txt" "privilege restart accepted privilege"
  report=$report_dir/report.txt
  if [[ -f $report ]]; then
    grep -q '^commandline=.* /quillimarkmode' "$report" || fail "$run: the installer did not get the switch"
    grep -q '^end' "$report" || fail "$run: the installer's report is incomplete"
  else
    fail "$run: the installer did not run"
  fi
  # C: is the prefix's drive_c.
  linux_folder=$WINEPREFIX/drive_c/${QM_WORK_FOLDER#[Cc]:\\}
  linux_folder=${linux_folder//\\//}
  if [[ $run == nt-helper && ! -e $linux_folder ]]; then
    fail "$run: the work folder was removed under the helper: $linux_folder"
  fi
  rm -rf "$linux_folder"
done

((failures == 0)) && echo "restart scenario: passed"
exit $((failures > 0))
