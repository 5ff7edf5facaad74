#!/bin/bash

# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

# Installs what the board needs on the build machine ($@, and what
# scripts/mdns-daemon runs for the link's side) the way every script here
# does: lib.sh's retries for a mirror mid-sync included.
set -euo pipefail
source "$(dirname "$0")/../../lib.sh"
ensure_packages "$@" "${MDNS_PACKAGES[@]}"
