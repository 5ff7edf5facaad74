#!/bin/bash

# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

# The first process of a user, mount and pid namespace (image.py): once the
# other side has mapped the ids and written to the fifo $1, a binfmt_misc of
# its own registers qemu-arm ($2), and the rest of the command line runs with
# ARM binaries runnable. Exit 90: this kernel has no private binfmt_misc.
read -r _ <"$1"
mount -t proc proc /proc &&
  mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc &&
  cat "$2" >/proc/sys/fs/binfmt_misc/register || exit 90
shift 2
exec "$@"
