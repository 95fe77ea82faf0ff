#!/bin/sh
# Runs a command where every i386 Linux program it starts (32-bit Wine's loader
# and the processes it spawns) is run by an emulator, on a machine whose kernel
# runs no 32-bit code: a user namespace of the command's own, with a mount
# namespace whose binfmt_misc (Linux 6.7 and later give each user namespace one)
# hands i386 ELF programs to EMULATOR. Nothing on the host changes: the
# registration dies with the namespace's last process.
#
# Usage: i386-userns.sh EMULATOR COMMAND [ARGS...]
# Exits 125, with the reason on standard error, when the namespace's
# binfmt_misc cannot register the emulator (unshare says itself when no
# namespace can be made). Every step is exec'd, so the command keeps this
# script's process: a test that kills it kills the command.
#
# Servers that switch users (nginx) must not run in here: the namespace maps
# only the caller, so their setgid fails. Wrap the Wine commands only.
if [ $# -lt 2 ]; then
  echo "usage: i386-userns.sh EMULATOR COMMAND [ARGS...]" >&2
  exit 2
fi
# The F flag opens the emulator once, at registration, so it is found whatever
# the command's root and mounts; no P flag: the emulator takes the program's
# path as its first argument.
exec unshare --user --map-root-user --mount /bin/sh -c '
  emulator=$1; shift
  if ! mount -t binfmt_misc drel-binfmt /proc/sys/fs/binfmt_misc 2>/dev/null; then
    echo "i386-userns: this kernel gives a user namespace no binfmt_misc of its own (Linux 6.7 or later does)" >&2
    exit 125
  fi
  magic="\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00"
  mask="\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\xfc\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff"
  if ! printf "%s" ":drel-i386:M::$magic:$mask:$emulator:F" > /proc/sys/fs/binfmt_misc/register; then
    echo "i386-userns: binfmt_misc did not take $emulator for i386 programs" >&2
    exit 125
  fi
  exec "$@"' i386-userns "$@"
