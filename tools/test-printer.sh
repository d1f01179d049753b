#!/usr/bin/env bash
# test-printer.sh BUILD_DIR: gives one build tree a PDF queue of its own and
# writes its name into BUILD_DIR/printer-queue, and a second one at 1,200 dpi
# (the same name and "-1200") named in BUILD_DIR/printer-queue-1200.
# cups-pdf writes every queue's pages into one folder unless the queue has a configuration file of its own,
# so with a shared queue the tests could measure a page that anything else on
# the machine printed (the other flavour, another checkout, another program).
# The queue is named after the tree's path, short enough for a DEVMODE's
# 32-byte device name; its pages land in /var/spool/cups-pdf/<queue>.
# Needs cupsd running (tools/setup-host.sh starts it). Safe to run again.
set -euo pipefail
export LC_ALL=C  # lpstat's words are read below
build_dir=$(mkdir -p "$1" && cd "$1" && pwd)
base=kopiwa-$(printf '%s' "$build_dir" | md5sum | cut -c1-8)

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

# add_queue QUEUE [PPD OPTION]: the queue, its configuration and its folder.
add_queue() {
  local queue=$1 option=("${@:2}")
  local out_dir=/var/spool/cups-pdf/$queue
  local conf=/etc/cups/cups-pdf-$queue.conf
  # cups-pdf takes the configuration named after its device URI's path.
  local want
  want=$(printf 'Out %s\nAnonDirName %s\n' "$out_dir" "$out_dir")
  if [ "$(cat "$conf" 2>/dev/null)" != "$want" ]; then
    printf '%s\n' "$want" | as_root tee "$conf" >/dev/null
  fi
  as_root mkdir -p "$out_dir"
  as_root chmod 1777 "$out_dir"
  if ! lpstat -v "$queue" 2>/dev/null | grep -q "cups-pdf:/$queue\$"; then
    as_root lpadmin -p "$queue" -v "cups-pdf:/$queue" -m lsb/usr/cups-pdf/CUPS-PDF_opt.ppd \
      ${option[@]+-o "${option[@]}"} -E 2>/dev/null
  fi
  lpstat -p "$queue" >/dev/null 2>&1 || { echo "test-printer: no CUPS queue $queue" >&2; exit 1; }
}

add_queue "$base"
# The 1,200-dpi one, for the largest pages: a Wine prefix may still take 300
# dpi from it, so a test asks for 1,200 in the DEVMODE and checks LOGPIXELSX.
add_queue "$base-1200" Resolution=1200dpi
echo "$base" >"$build_dir/printer-queue"
echo "$base-1200" >"$build_dir/printer-queue-1200"
