# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""The emulated armhf board: image, link, remote commands, checks, power cuts.

`scripts/board` is the entry point; `python3 -m vboard` (with scripts/ on the
path) is the same.
"""
