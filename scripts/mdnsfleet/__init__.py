# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""Many devices of one mDNS name on one virtual link (scripts/mdns-fleet):
what observers see of them, what their logs say, and what it costs."""
