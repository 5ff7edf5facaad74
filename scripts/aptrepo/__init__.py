# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""scripts/apt-repo: a signed apt repository of the project's packages,
which devices take new versions from."""
