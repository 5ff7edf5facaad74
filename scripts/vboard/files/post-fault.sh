# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

# On the board: POSTs the stand-in host's test fault $1 (wedge, allocate)
# to its debug server on 127.0.0.1:$2; prints the status line.
exec 3<>"/dev/tcp/127.0.0.1/$2"
printf 'POST /fault/%s HTTP/1.0\r\nContent-Length: 0\r\n\r\n' "$1" >&3
head -n 1 <&3
