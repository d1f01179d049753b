# Shell helpers shared by the test scripts: where the Wine prefixes live and the
# environment every Wine process of the tests runs in. Source it; do not run it.

# wine_arch BUILD_DIR: the Windows a build's programs are made for, win32 or
# win64, as its configuration wrote it down (win32 when it wrote nothing).
wine_arch() {
  local arch
  arch=$(cat "$1/wine-arch" 2>/dev/null || true)
  echo "${arch:-win32}"
}

# wine_env BUILD_DIR PREFIX: exports the environment for one prefix, and WINE,
# the loader to start the build's programs with.
wine_env() {
  export WINEARCH
  WINEARCH=$(wine_arch "$1")
  if [ "$WINEARCH" = win64 ]; then
    # Debian's wine script starts the 32-bit loader whenever wine32 is
    # installed, also where the kernel cannot run it: name the 64-bit one.
    export WINE=/usr/lib/wine/wine64 WINELOADER=/usr/lib/wine/wine64
  else
    export WINE=wine
  fi
  export WINEPREFIX="$2"
  export WINEDEBUG=${WINEDEBUG:--all}
  # No Mono or Gecko prompts, and no menu entries written into the host's desktop.
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  # Code page 932: the programs' narrow texts are Shift-JIS.
  export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
  export KOPIWA_BUILD_DIR="$1"
  export KOPIWA_SOURCE_DIR
  KOPIWA_SOURCE_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  # The build tree's own PDF queue (tools/test-printer.sh), Windows' default
  # printer through libcups, which takes PRINTER as the user's default; the
  # shared queue PDF where the tree has none.
  export KOPIWA_PRINTER=${KOPIWA_PRINTER:-$(cat "$1/printer-queue" 2>/dev/null || echo PDF)}
  export PRINTER=$KOPIWA_PRINTER
  if [ "$KOPIWA_PRINTER" = PDF ]; then
    export KOPIWA_PDF_DIR=${KOPIWA_PDF_DIR:-/var/spool/cups-pdf/out}
  else
    export KOPIWA_PDF_DIR=${KOPIWA_PDF_DIR:-/var/spool/cups-pdf/$KOPIWA_PRINTER}
  fi
  # Its second queue, at 1,200 dpi, where it has one.
  export KOPIWA_FINE_PRINTER=${KOPIWA_FINE_PRINTER:-$(cat "$1/printer-queue-1200" 2>/dev/null)}
  if [ -n "$KOPIWA_FINE_PRINTER" ]; then
    export KOPIWA_FINE_PDF_DIR=${KOPIWA_FINE_PDF_DIR:-/var/spool/cups-pdf/$KOPIWA_FINE_PRINTER}
  fi
}

template_dir() { echo "$1/wine/template"; }
prefix_dir() { echo "$1/wine/prefixes/$2"; }

# start_xvfb: starts a private X server and exports DISPLAY; XVFB_PID names it.
start_xvfb() {
  local fdfile
  fdfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$fdfile" 2>/dev/null &
  XVFB_PID=$!
  local n
  for n in $(seq 100); do
    [ -s "$fdfile" ] && break
    sleep 0.05
  done
  if [ ! -s "$fdfile" ]; then
    echo "Xvfb did not start" >&2
    rm -f "$fdfile"
    return 1
  fi
  export DISPLAY=":$(head -n1 "$fdfile")"
  rm -f "$fdfile"
}

stop_xvfb() {
  [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
  XVFB_PID=
}

# copy_prefix TEMPLATE DEST: a private prefix. The large, never-written folders
# of Windows' own DLLs are hard-linked; everything a program may write is copied.
copy_prefix() {
  local template=$1 dest=$2
  rm -rf "$dest"
  mkdir -p "$dest"
  (cd "$template" && find . -mindepth 1 -maxdepth 1 ! -name drive_c -exec cp -a {} "$dest/" \;)
  mkdir -p "$dest/drive_c"
  (cd "$template/drive_c" && find . -mindepth 1 -maxdepth 1 ! -name windows -exec cp -a {} "$dest/drive_c/" \;)
  mkdir -p "$dest/drive_c/windows"
  local entry
  for entry in "$template"/drive_c/windows/* "$template"/drive_c/windows/.[!.]*; do
    [ -e "$entry" ] || continue
    case "$(basename "$entry")" in
      system32|winsxs|Microsoft.NET|globalization|resources)
        cp -al "$entry" "$dest/drive_c/windows/" ;;
      *)
        cp -a "$entry" "$dest/drive_c/windows/" ;;
    esac
  done
}

# wineboot ARGS: Wine's start-up work with the build's own loader.
wineboot() { "$WINE" wineboot "$@"; }

# init_prefix PREFIX: a new Windows of the build's kind in PREFIX (wine_env already set for
# it), with crash dialogs off, Wine's own fonts in place and the Japanese fonts
# mapped.
init_prefix() {
  local prefix=$1
  wineboot -i >/dev/null 2>&1
  # A crashing program must end, not wait in winedbg's dialog.
  "$WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null
  # reg reads UTF-16 files; the repository keeps the readable UTF-8 text.
  { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$(dirname "${BASH_SOURCE[0]}")/template.reg"; } >"$prefix/drive_c/template.reg"
  "$WINE" reg import 'C:\template.reg' >/dev/null 2>&1
  rm -f "$prefix/drive_c/template.reg"
  # Wine's own fonts (Marlett draws the title-bar buttons) are not found in its
  # data folder by this build; the Fonts folder of the prefix is always searched.
  cp /usr/share/wine/fonts/*.ttf "$prefix/drive_c/windows/Fonts/"
  wineserver -w
  # The profile's Desktop, Documents, Templates and the like are links to the
  # Unix home: folders of their own instead, so that a test's Windows keeps to
  # its prefix and a listing of drive C does not walk the developer's home.
  local link
  find "$prefix/drive_c/users" -type l -xtype d | while read -r link; do
    rm "$link" && mkdir "$link"
  done
}
