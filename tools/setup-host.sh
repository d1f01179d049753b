#!/usr/bin/env bash
# Prepares this Debian host for building and testing: the i686 and x86-64 cross
# compilers, Wine, Xvfb, a CUPS queue that prints to PDF, the Japanese locale
# and fonts. 32-bit Wine only where the kernel runs 32-bit code; 64-bit Wine
# everywhere, for the x86-64 flavour. Safe to run again: every step checks
# first and does nothing when it is done.
set -euo pipefail
export LC_ALL=C  # dpkg's, locale's and lpstat's words are read

PRINTER_QUEUE=${KOPIWA_PRINTER_QUEUE:-PDF}
PDF_OUT_DIR=${KOPIWA_PDF_DIR:-/var/spool/cups-pdf/out}

PACKAGES=(
  g++-mingw-w64-i686 binutils-mingw-w64-i686 cmake make ninja-build
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  wine wine64 libwine-dev fonts-wine
  xvfb xauth xdotool imagemagick x11-utils
  googletest
  cups cups-client cups-bsd printer-driver-cups-pdf libcups2
  locales fonts-ipafont-gothic fonts-ipafont-mincho
  poppler-utils python3 fp-utils
)
# Debian's wine script starts the 32-bit loader whenever wine32 is installed,
# so it is installed only where it can run.
PACKAGES_32BIT=(wine32:i386 libcups2:i386)
if "$(dirname "$0")/host-runs-32bit.sh"; then
  RUNS_32BIT=yes
  PACKAGES+=("${PACKAGES_32BIT[@]}")
else
  RUNS_32BIT=no
fi

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

missing_packages() {
  local p
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${db:Status-Status}\n' "$p" 2>/dev/null | grep -qx installed || echo "$p"
  done
}

install_packages() {
  if [ $RUNS_32BIT = yes ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
  fi
  local missing
  missing=$(missing_packages)
  [ -z "$missing" ] && return 0
  echo "setup: installing $(echo $missing | wc -w) packages"
  # A mirror caught mid-sync fails one index or another; what the lists that
  # did arrive hold may still be enough, and the install below says if not.
  as_root apt-get update -qq || echo "setup: apt-get update reported errors; installing from the lists it has"
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq --no-install-recommends $missing >/dev/null
}

ensure_locale() {
  if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
    as_root sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
    as_root locale-gen >/dev/null
  fi
}

cupsd_running() { lpstat -r 2>/dev/null | grep -q 'is running'; }

ensure_cups() {
  # cups-pdf writes every job into one folder that the tests can read.
  local conf=/etc/cups/cups-pdf.conf
  if ! grep -qx "Out $PDF_OUT_DIR" "$conf"; then
    as_root sed -i '/^#\?Out /d' "$conf"
    echo "Out $PDF_OUT_DIR" | as_root tee -a "$conf" >/dev/null
  fi
  if ! grep -qx 'AnonDirName '"$PDF_OUT_DIR" "$conf"; then
    as_root sed -i '/^#\?AnonDirName /d' "$conf"
    echo "AnonDirName $PDF_OUT_DIR" | as_root tee -a "$conf" >/dev/null
  fi
  as_root mkdir -p "$PDF_OUT_DIR"
  as_root chmod 1777 "$PDF_OUT_DIR"
  if ! cupsd_running; then
    as_root cupsd
    for _ in $(seq 50); do cupsd_running && break; sleep 0.1; done
  fi
  if ! lpstat -p "$PRINTER_QUEUE" >/dev/null 2>&1; then
    as_root lpadmin -p "$PRINTER_QUEUE" -v cups-pdf:/ -m lsb/usr/cups-pdf/CUPS-PDF_opt.ppd -E
  fi
  if [ "$(lpstat -d 2>/dev/null | sed -n 's/^system default destination: //p')" != "$PRINTER_QUEUE" ]; then
    as_root lpadmin -d "$PRINTER_QUEUE"
  fi
}

install_packages
ensure_locale
ensure_cups
if [ $RUNS_32BIT = yes ]; then
  echo "setup: host ready: runs 32-bit code, 32-bit and 64-bit Wine (printer queue $PRINTER_QUEUE, PDFs in $PDF_OUT_DIR)"
else
  echo "setup: host ready: its kernel runs no 32-bit code, 64-bit Wine only (printer queue $PRINTER_QUEUE, PDFs in $PDF_OUT_DIR)"
fi
