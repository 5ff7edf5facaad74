# SPDX-FileCopyrightText: 2026 The Vantor device authors
#
# SPDX-License-Identifier: Apache-2.0

# RSS and descriptors of a soak over time:
#   gnuplot -c soak.gnuplot CSV PNG TITLE
# Arguments rather than -e assignments: a title is data, never program text.
csv = ARG1
png = ARG2
title = ARG3
set terminal pngcairo size 900,500 noenhanced
set datafile separator ","
# Flat lines off the frame: the right axis from 0 to half again the most.
stats csv using 3 name "FDS" nooutput
set output png
set key autotitle columnhead top left
set title title
set xlabel "minutes"
set ylabel "RSS (KiB)"
set y2label "descriptors, threads"
set y2tics
set y2range [0:FDS_max * 1.5 + 1]
set ytics nomirror
set grid
plot csv using ($1/60):2 with lines lw 2 title "RSS (KiB)", \
     csv using ($1/60):3 axes x1y2 with steps title "descriptors", \
     csv using ($1/60):4 axes x1y2 with steps title "threads"
