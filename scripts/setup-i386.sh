#!/usr/bin/env bash
# Makes 32-bit Windows programs run here, as the product's tests need, and
# says in one line how they run. Called by scripts/setup.sh once the 32-bit
# Wine (wine32:i386) is installed; run as root (or with sudo).
#
#   scripts/setup-i386.sh       decide and prepare
#
# QM_EMULATE_I386=1 uses the emulator even where the kernel runs i386 code,
# to try the emulated path on such a machine (QM_EMULATE_I386=1 bash
# scripts/test.sh runs every test so); a run without it undoes that.
#
# Where the kernel runs i386 code, the 32-bit Wine loader starts natively and
# nothing is registered: native runs are about ten times faster. Where it
# does not (its IA-32 emulation is off), qemu-user 10 from Debian's
# backports suite runs the 32-bit loader: the backports suite is added to
# apt's sources with the mirror this machine already uses, qemu-user is
# installed from it, binfmt_misc is mounted and /usr/bin/qemu-i386 is
# registered for i386 ELF executables (flag F: the kernel holds the
# interpreter open, so it works in any mount namespace). The registration is
# kernel state that a new or restarted machine lacks: every run checks it and
# redoes what is missing. A second run changes nothing; an entry for i386
# programs that points elsewhere (an older qemu, say) is replaced.
#
# Exit status 0 when 32-bit programs run (natively or under emulation),
# 1 with the reason otherwise.
set -euo pipefail

binfmt=/proc/sys/fs/binfmt_misc
entry_name=qemu-i386
qemu=/usr/bin/qemu-i386
loader=/usr/lib/wine/wine
# The ELF header of an i386 executable (class 32, little-endian, e_machine
# 3), as qemu-user registers it: types EXEC and DYN alike. Written as text:
# the kernel reads the escapes itself.
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
# The same as the kernel shows it in an entry's "magic" line.
magic_shown=7f454c4601010100000000000000000002000300

sudo_cmd=()
[[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
as_root() { "${sudo_cmd[@]}" "$@"; }
say() { echo "setup: $*"; }
die() { echo "setup: $*" >&2; exit 1; }

force_emulation=0
[[ ${QM_EMULATE_I386:-} == 1 ]] && force_emulation=1

[[ -x $loader ]] || die "the 32-bit Wine (wine32:i386) is not installed"

# The registered entries that take i386 executables (whatever their names).
i386_entries() {
  local entry
  [[ -f $binfmt/status ]] || return 0
  for entry in "$binfmt"/*; do
    case ${entry##*/} in status | register) continue ;; esac
    grep -q "^magic $magic_shown\$" "$entry" 2>/dev/null && echo "$entry"
  done
  return 0
}

# Whether the 32-bit Wine loader starts (through whatever is registered).
loader_starts() { timeout 120 "$loader" --version >/dev/null 2>&1; }

# Whether it starts natively: binfmt_misc is asked before the kernel's own
# ELF loader, so enabled i386 entries are switched off for the probe (a
# refusal is immediate) and on again afterwards.
runs_natively() {
  local entries=() entry off=() ok=1
  mapfile -t entries < <(i386_entries)
  for entry in "${entries[@]}"; do
    grep -qx enabled "$entry" || continue
    echo 0 | as_root tee "$entry" >/dev/null
    off+=("$entry")
  done
  loader_starts && ok=0
  for entry in "${off[@]}"; do echo 1 | as_root tee "$entry" >/dev/null; done
  return $ok
}

remove_entry() { echo -1 | as_root tee "$1" >/dev/null; }

if ((!force_emulation)) && runs_natively; then
  # Native runs are faster: an emulator left registered would only slow
  # every 32-bit program down.
  mapfile -t stale < <(i386_entries)
  for entry in "${stale[@]}"; do
    remove_entry "$entry"
    say "removed the emulator registered for i386 programs (${entry##*/})"
  done
  say "32-bit programs run natively"
  exit 0
fi

# qemu-user 10 or later: bookworm's own 7.2 takes about a minute to start
# each 32-bit program.
qemu_major() { { "$qemu" --version 2>/dev/null || true; } | sed -n '1s/.*version \([0-9]*\)\..*/\1/p'; }
major=$(qemu_major)
if [[ -z $major || $major -lt 10 ]]; then
  . /etc/os-release
  codename=${VERSION_CODENAME:?no VERSION_CODENAME in /etc/os-release}
  suite=$codename-backports
  list=/etc/apt/sources.list.d/$suite.sources
  if ! grep -rqs -- "$suite" /etc/apt/sources.list /etc/apt/sources.list.d/; then
    # The mirror of the machine's own Debian sources (the stanza or line
    # that carries the release itself), with its key.
    read -r uri keyring < <(python3 "$(dirname "$0")/apt-mirror.py" "$codename") ||
      die "no Debian source for '$codename' in apt's configuration to take the mirror from"
    {
      echo "Types: deb"
      echo "URIs: $uri"
      echo "Suites: $suite"
      echo "Components: main"
      [[ $keyring == - ]] || echo "Signed-By: $keyring"
    } | as_root tee "$list" >/dev/null
    say "added $suite ($uri) to apt's sources: $list"
  fi
  say "installing qemu-user from $suite"
  as_root apt-get update -qq
  DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq --no-install-recommends \
    -t "$suite" qemu-user >/dev/null
  major=$(qemu_major)
  [[ -n $major && $major -ge 10 ]] || die "qemu-user 10 or later could not be installed from $suite"
fi

if [[ ! -f $binfmt/register ]]; then
  as_root mount -t binfmt_misc binfmt_misc "$binfmt" || die "binfmt_misc cannot be mounted at $binfmt"
fi

# Registered already as wanted: enabled, our interpreter, flag F.
entry_ok() {
  local entry=$binfmt/$entry_name
  [[ -f $entry ]] && grep -qx enabled "$entry" && grep -qx "interpreter $qemu" "$entry" &&
    grep -q '^flags: .*F' "$entry" && grep -qx "magic $magic_shown" "$entry"
}
if ! entry_ok; then
  mapfile -t stale < <(i386_entries)
  for entry in "${stale[@]}"; do remove_entry "$entry"; done
  printf ':%s:M::%s:%s:%s:F\n' "$entry_name" "$magic" "$mask" "$qemu" | as_root tee "$binfmt/register" >/dev/null ||
    die "registering $qemu for i386 programs failed"
  say "registered $qemu for i386 programs ($binfmt/$entry_name)"
fi

loader_starts || die "32-bit programs cannot run here, not even under $qemu (the 32-bit Wine loader does not start)"
say "32-bit programs run under emulation (qemu-user $("$qemu" --version | sed -n '1s/.*version \([^ ]*\).*/\1/p'))"
