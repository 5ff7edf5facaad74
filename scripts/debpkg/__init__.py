# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""The Debian side of the project's scripts: apt installs that survive a
mirror mid-sync (apt, skew), the packages scripts/package leaves
(packages) and their checks (checks, reproducible, piuparts). lib.sh and
scripts/check-packages are its entry points."""
