# Sourced. One private Wine prefix, one wineserver and one Xvfb display for a whole run,
# all stopped and removed again when the calling script exits.
#
#   korvante_wine_session_start ARCH [use-display]
# With use-display the windows go to the caller's own $DISPLAY instead of a new Xvfb.

korvante_wine_session_start() {
  local arch=$1 display_mode=${2:-own-display}
  KORVANTE_SESSION_DIR=$(mktemp -d /tmp/korvante-wine.XXXXXX)
  export WINEPREFIX=$KORVANTE_SESSION_DIR/prefix
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  # Windows' copy asks before it overwrites a file when run by cmd /c, as every build command is;
  # Wine's asks only with this. A build whose copy meets its destination then waits forever, as
  # it would on Windows, and the test's bounded wait fails it.
  export COPYCMD=/-Y
  if [ "$arch" = i686 ]; then
    export WINEARCH=win32 KORVANTE_WINE=wine
  else
    export WINEARCH=win64 KORVANTE_WINE=/usr/lib/wine/wine64 WINELOADER=/usr/lib/wine/wine64
  fi
  trap korvante_wine_session_stop EXIT

  if [ "$display_mode" != use-display ]; then
    korvante_start_xvfb || return 1
  fi

  mkdir -p "$WINEPREFIX"
  wineserver -p
  # Seconds, or minutes where its 32-bit half runs through qemu-user.
  if ! timeout 600 "$KORVANTE_WINE" wineboot -i >"$KORVANTE_SESSION_DIR/wineboot.log" 2>&1; then
    echo "wineboot -i failed to make the Wine prefix; its output:" >&2
    cat "$KORVANTE_SESSION_DIR/wineboot.log" >&2
    return 1
  fi
  if [ "$display_mode" != use-display ]; then
    # Without a window manager Wine waits about 2 s whenever a managed window is hidden.
    timeout 60 "$KORVANTE_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  fi
}

korvante_start_xvfb() {
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$KORVANTE_SESSION_DIR/display" \
    >/dev/null 2>&1 &
  KORVANTE_XVFB_PID=$!
  local waited=0
  until [ -s "$KORVANTE_SESSION_DIR/display" ]; do
    sleep 0.1
    waited=$((waited + 1))
    [ $waited -lt 300 ] || { echo "Xvfb did not start" >&2; return 1; }
  done
  export DISPLAY=":$(cat "$KORVANTE_SESSION_DIR/display")"
}

korvante_wine_session_stop() {
  if [ -d "${WINEPREFIX:-}" ]; then wineserver -k >/dev/null 2>&1 || true; fi
  if [ -n "${KORVANTE_XVFB_PID:-}" ]; then
    kill "$KORVANTE_XVFB_PID" 2>/dev/null || true
    wait "$KORVANTE_XVFB_PID" 2>/dev/null || true
  fi
  if [ -n "${KORVANTE_SESSION_DIR:-}" ]; then
    # A test stopped midway may leave a mount of its own in the session's folder.
    awk -v dir="$KORVANTE_SESSION_DIR/" 'index($2, dir) == 1 { print $2 }' /proc/mounts | sort -r |
      while read -r mounted; do umount -l "$mounted" 2>/dev/null || true; done
    rm -rf "$KORVANTE_SESSION_DIR"
  fi
}

# korvante_keep_desktop KEEP_DESKTOP_EXE: a hidden window for the rest of the session. Without
# it Wine's desktop process exits whenever no window is left, and the next program's first
# window then takes about 10 s to show.
korvante_keep_desktop() {
  "$KORVANTE_WINE" "$1" >/dev/null 2>&1 &
}
