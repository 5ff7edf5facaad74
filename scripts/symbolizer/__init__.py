# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""scripts/symbolize: a device's core dump as every thread's backtrace,
named from the -dbgsym packages that scripts/apt-repo publishes."""
