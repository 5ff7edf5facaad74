# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

"""The emulated armhf board: image, link, power, remote commands, checks,
power cuts, updates and the soak.

`scripts/board` is the entry point; `python3 -m vboard` (with scripts/ on the
path) is the same. Each module imports only those of the layers below it
(scripts/tests/python_code_test.py finds any import circle):

  common, limits, clock       names and errors, every time limit, waiting
  runner, results, parse      running programs, the report, the readers
  link, power, remote, image  the board's namespaces, its emulator, ssh,
                              its disks
  observe                     what the checks ask the board
  supervision, checks,        the checks and runs
  powercut, upgrade, soak,
  native_soak
  __main__                    scripts/board's commands
"""
