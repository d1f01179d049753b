#!/usr/bin/env bash
# test-printer.sh BUILD_DIR: gives one build tree a PDF queue of its own and
# writes its name into BUILD_DIR/printer-queue. cups-pdf writes every queue's
# pages into one folder unless the queue has a configuration file of its own,
# so with a shared queue the tests could measure a page that anything else on
# the machine printed (the other flavour, another checkout, another program).
# The queue is named after the tree's path, short enough for a DEVMODE's
# 32-byte device name; its pages land in /var/spool/cups-pdf/<queue>.
# Needs cupsd running (tools/setup-host.sh starts it). Safe to run again.
set -euo pipefail
export LC_ALL=C  # lpstat's words are read below
build_dir=$(mkdir -p "$1" && cd "$1" && pwd)
queue=kopiwa-$(printf '%s' "$build_dir" | md5sum | cut -c1-8)
out_dir=/var/spool/cups-pdf/$queue
conf=/etc/cups/cups-pdf-$queue.conf

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

# cups-pdf takes the configuration named after its device URI's path.
want=$(printf 'Out %s\nAnonDirName %s\n' "$out_dir" "$out_dir")
if [ "$(cat "$conf" 2>/dev/null)" != "$want" ]; then
  printf '%s\n' "$want" | as_root tee "$conf" >/dev/null
fi
as_root mkdir -p "$out_dir"
as_root chmod 1777 "$out_dir"
if ! lpstat -v "$queue" 2>/dev/null | grep -q "cups-pdf:/$queue\$"; then
  as_root lpadmin -p "$queue" -v "cups-pdf:/$queue" -m lsb/usr/cups-pdf/CUPS-PDF_opt.ppd -E 2>/dev/null
fi
lpstat -p "$queue" >/dev/null 2>&1 || { echo "test-printer: no CUPS queue $queue" >&2; exit 1; }
echo "$queue" >"$build_dir/printer-queue"
