#!/usr/bin/env bash
# The main job: set up the machine, build the 32-bit stub (the product), its
# 64-bit twin, the builder and the sample installer program, pack
# examples/payload with the sample into installers, and run them under Wine,
# the product first, telling what happens at each step.
#
#   scripts/demo.sh
#
# Writes build/demo/setup.exe (32-bit: the product) and build/demo/setup64.exe
# (the same payload behind the 64-bit twin of the stub). The product runs
# on every machine: natively where the kernel runs i386 code, else under
# qemu-user, which the set-up prepares; the demo says which. The runs are
# headless on an Xvfb
# display of scripts/wine-run unless DISPLAY names one. LVXRUN_EXIT
# (default 0) is the exit code the sample installer ends with; 3386 makes the
# launcher restart Windows, which under Wine ends the Wine session.
#
# A second run only rebuilds what changed. Exit status 0 when every step
# did what it should.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
# shellcheck source=scripts/wine-lib.sh
source scripts/wine-lib.sh
demo=$root/build/demo
log=$demo/build.log
mkdir -p "$demo"
: >"$log"

step=0
say() { echo "== $((++step))/6 $*"; }
info() { echo "   $*"; }
fail() { echo "demo: FAILED: $*" >&2; exit 1; }
# A failed check that does not stop the later steps; the exit status tells.
problems=()

# build PRESET TARGET...: configure (quick when nothing changed; it also
# makes targets known that a build tree from an older checkout lacks), then
# build incrementally.
build() {
  local preset=$1; shift
  cmake --preset "$preset" >>"$log" 2>&1 || { tail -20 "$log"; fail "configuring $preset"; }
  cmake --build --preset "$preset" --target "$@" >>"$log" 2>&1 || { tail -30 "$log"; fail "building $preset"; }
}

size_of() { stat -c %s "$1"; }

say "set-up (Debian packages)"
bash scripts/setup.sh
info "everything is installed"

say "build (log: build/demo/build.log)"
start=$SECONDS
build host qm-build
info "builder:            build/host/tools/qm-build"
build win32 quillimark-stub lvxrun
info "stub, 32-bit:       build/win32/launcher/quillimark-stub.exe ($(size_of build/win32/launcher/quillimark-stub.exe) bytes)"
build win64 quillimark-stub lvxrun
info "stub, 64-bit twin:  build/win64/launcher/quillimark-stub.exe ($(size_of build/win64/launcher/quillimark-stub.exe) bytes)"
info "sample installer:   build/win32/examples/lvxrun.exe, build/win64/examples/lvxrun.exe"
info "built in $((SECONDS - start)) s"

say "check the product stub"
if ! bash scripts/check-product.sh build/win32/launcher/quillimark-stub.exe | sed 's/^/   /'; then
  info "(the demo goes on with this stub)"
  problems+=("the product check of build/win32/launcher/quillimark-stub.exe")
fi

say "pack examples/payload with the sample installer"
# pack BITS OUTPUT: a staging copy of the payload plus that build's sample.
pack() {
  local stage=$demo/payload$1
  rm -rf "$stage"
  cp -r examples/payload "$stage"
  cp "build/win$1/examples/lvxrun.exe" "$stage/lvxrun.exe"
  build/host/tools/qm-build -q --stub "build/win$1/launcher/quillimark-stub.exe" --source "$stage" \
    --installer lvxrun.exe --output "$2" || fail "packing $2"
}
pack 32 "$demo/setup.exe"
pack 64 "$demo/setup64.exe"
# The payload's one name that code page 932 cannot hold: the builder keeps
# every name in UTF-8 then, and the launcher makes them through the wide
# functions on every code page.
utf8_name='Lisez-moi – 읽어보기.txt'
[[ -f examples/payload/$utf8_name ]] || fail "examples/payload/$utf8_name is missing"
names=$(build/host/tools/qm-build --list "$demo/setup.exe" | sed -n 's/^names: //p')
info "the payload, names stored in $names (\"$utf8_name\" is outside code page 932):"
(cd "$demo/payload32" && find . -mindepth 1 | sort | sed 's|^\./|     |; s|/|\\|g')
info "build/demo/setup.exe    32-bit, the product  $(size_of "$demo/setup.exe") bytes"
info "build/demo/setup64.exe  64-bit twin           $(size_of "$demo/setup64.exe") bytes"

# run_installer BITS FILE: copies build/demo/FILE into the Wine prefix of
# build/winBITS (on its C: drive, never Z:, the Linux root), runs it, and
# tells what the sample installer program reported. Returns 1 when a step
# went wrong (a program that cannot run here among them).
run_installer() {
  local bits=$1 file=$2
  local dir=$root/build/win$bits
  # The prefix of that build tree, not one from the caller's environment.
  unset WINEPREFIX
  export QM_BUILD_DIR=$dir
  say "run $file under Wine (prefix, locale and display live in build/win$bits/wine)"
  local why
  if ! why=$(scripts/wine-run --can-run "$demo/$file"); then
    info "FAILED: ${why#wine-run: }"
    return 1
  fi
  if ((bits == 32)); then
    info "the product runs $(scripts/wine-run --can-run-32bit) here"
  fi
  [[ -f $dir/wine/prefix/.qm-ready ]] || info "first run: making the Wine prefix takes a few seconds"
  local display prefix
  display=$(qm_wine_value scripts/wine-run DISPLAY) || { info "FAILED: preparing Wine"; return 1; }
  prefix=$(qm_wine_value scripts/wine-run WINEPREFIX)
  if [[ -f $dir/wine/xvfb.display && $display == "$(cat "$dir/wine/xvfb.display")" ]]; then
    info "display $display (Xvfb, headless)"
  else
    info "display $display"
  fi
  qm_run_installer scripts/wine-run "$prefix" qmdemo "$demo/$file"
  scripts/wine-run --stop
  info "ran C:\\qmdemo\\$file"
  [[ -s $qm_log ]] && sed 's/^/   wine: /' "$qm_log"

  if [[ ! -f $qm_report ]]; then
    info "FAILED: the installer program wrote no report: it did not run (launcher exit status $qm_status)"
    return 1
  fi
  local folder folder_linux
  folder=$(qm_report_value folder)
  folder_linux=$(qm_linux_path "$prefix" "$folder")
  info "extracted into $folder"
  info "  (on Linux: ${folder_linux#"$root"/})"
  sed -n 's/^entry=\([FD]\) \([^ ]*\) [^ ]* [^ ]* [^ ]* \(.*\)$/\1 \2 \3/p' "$qm_report" | while read -r kind size path; do
    if [[ $kind == D ]]; then printf '     folder %10s  %s\n' "" "$path"; else printf '     file   %10s  %s\n' "$size" "$path"; fi
  done
  grep -qxF "$utf8_name" <(sed -n 's/^entry=F [^ ]* [^ ]* [^ ]* [^ ]* //p' "$qm_report") ||
    { info "FAILED: \"$utf8_name\" did not arrive under its name"; return 1; }
  info "\"$utf8_name\" arrived under its own name (made through the wide functions, whatever the code page)"
  info "installer started: $(qm_report_value commandline)"
  [[ $(qm_report_value switch) == yes ]] || { info "FAILED: the installer did not get /quillimarkmode"; return 1; }
  info "  with its switch /quillimarkmode"
  grep -qx end "$qm_report" || { info "FAILED: the installer's report is incomplete"; return 1; }
  info "installer finished: exit code $(qm_report_value exit)"
  [[ ! -e $folder_linux ]] || { info "FAILED: the work folder is still there: $folder"; return 1; }
  info "work folder removed"
  info "launcher ended after $((qm_elapsed_ms / 1000)).$((qm_elapsed_ms % 1000 / 100)) s (it pauses 2 s before the removal), exit status $qm_status"
  # The launcher ends with the installer's exit code (Linux keeps its low 8 bits).
  local code
  code=$(qm_report_value exit)
  ((qm_status == ${code:-0} % 256)) || { info "FAILED: the launcher's exit status is $qm_status, not the installer's ${code:-0}"; return 1; }
}

trap 'for bits in 32 64; do QM_BUILD_DIR=$root/build/win$bits scripts/wine-run --stop; done' EXIT
# The product first; then its 64-bit twin, the same code built for x86-64.
run_installer 32 setup.exe || problems+=("the run of build/demo/setup.exe")
run_installer 64 setup64.exe || problems+=("the run of build/demo/setup64.exe")

if ((${#problems[@]})); then
  fail "${problems[*]}"
fi
echo "demo: done. The product is build/demo/setup.exe; it ran $(scripts/wine-run --can-run-32bit)."
