# Driving tilepost.exe under Wine from outside, as a user would, for scripts to
# source inside a tools/wine-run session (its prefix and virtual desktop). The
# sourcing script sets `work` (the trial FTP server's folder, tools/trial-ftp.bash),
# `shots` (where screenshots go) and `fail MESSAGE` (ends the run), and sources
# tools/trial-ftp.bash first.
#
#   wine_e2e_open EXE
#       Starts EXE in the background (its pid in `app`), waits until its window
#       "Tilepost" is open, maximized and logged in, and sets `client_x` and
#       `client_y`, the screen position of the window's client area.
#   wine_e2e_close
#       Closes the window with Alt+F4; fails unless the program then ends with
#       exit code 0 and says QUIT to the server.
# and the steps below (shot, browse, press_upload, key, the waits on the server).

desktop_w=1280
desktop_h=1024
# Wine's caption height (SM_CYCAPTION) with its default theme: the client area
# of a maximized window starts this far below the screen's top.
caption=19
step=0
app=""

shot() {
  step=$((step + 1))
  local file
  file=$(printf '%s/%02d-%s.png' "$shots" "$step" "$1")
  timeout 30 import -window root "$file" || fail "no screenshot $file"
  echo "wine-e2e: step $step, $1 ($file)"
}

# until_true SECONDS COMMAND...: runs COMMAND every 0.2 s until it succeeds; false after SECONDS.
until_true() {
  local limit=$(($1 * 5))
  shift
  local _
  for _ in $(seq "$limit"); do
    "$@" && return 0
    sleep 0.2
  done
  return 1
}

window_named() {
  timeout 10 xdotool search --name "^$1\$" 2>/dev/null | head -1
}
has_window() { [ -n "$(window_named "$1")" ]; }
no_window() { [ -z "$(window_named "$1")" ]; }

server_file() { echo "$work/root/$1"; }
server_has() { [ -f "$(server_file "$1")" ]; }
server_lacks() { [ ! -e "$(server_file "$1")" ]; }
server_size_above() { [ "$(stat -c %s "$(server_file "$1")" 2>/dev/null || echo 0)" -gt "$2" ]; }
heard() { trial_ftp_commands "$work" | grep -qx -- "$1"; }
heard_twice() { heard_times 2 "$1"; }
heard_times() { [ "$(trial_ftp_commands "$work" | grep -cx -- "$2")" -ge "$1" ]; }
ended() { ! kill -0 "$1" 2>/dev/null; }

# Clicks a point of the main window's client area (the tables' coordinates).
click() {
  timeout 10 xdotool mousemove $((client_x + $1)) $((client_y + $2)) click 1
  sleep 0.3
}
key() {
  timeout 10 xdotool key "$@"
  sleep 0.3
}
# Types TEXT into the focused field. Text outside ASCII is pasted from the
# clipboard instead: xdotool types a character that the keyboard map lacks by
# mapping a spare key for the moment of the press, and Wine, reading the key
# after the map went back, now and then drops the character, so that a dialog
# returns a path that names no file.
type_text() {
  if LC_ALL=C grep -q '[^ -~]' <<<"$1"; then
    local owner
    printf '%s' "$1" | timeout 60 xclip -quiet -selection clipboard &
    owner=$!
    sleep 0.5
    key ctrl+v
    kill "$owner" 2>/dev/null || true
    wait "$owner" 2>/dev/null || true
  else
    timeout 30 xdotool type --delay 20 "$1"
    sleep 0.3
  fi
}

# Browse (0 pixels high, so reached by Tab from the path field), then the open
# dialog: its name field takes the map's full Windows path.
browse() {
  click 100 25
  key Tab space
  until_true 20 has_window "upload file" || fail "no open dialog after Browse"
  sleep 1
  shot "$2"
  type_text "$(winepath -w "$1")"
  key Return
  until_true 20 no_window "upload file" || fail "the open dialog did not close on Return"
}

# The upload button: x 80, y 95, 200 x 20. The progress screen's cancel lies on the same spot.
press_upload() { click 180 105; }
press_cancel() { click 180 105; }

wine_e2e_open() {
  local top wx wy ww wh border
  [ -f "$1" ] || fail "no $1"
  timeout --kill-after=10 500 wine "$1" </dev/null >"$work/tilepost.out" 2>&1 &
  app=$!
  until_true 60 has_window Tilepost || fail "no window titled Tilepost within 60 s"
  top=$(window_named Tilepost)
  until_true 20 heard "USER brixmaps" || fail "Tilepost did not log in to the server"
  sleep 1
  # xwininfo, not xdotool: xdotool counts the offset of a window that starts
  # off the screen twice.
  read -r wx wy ww wh < <(xwininfo -id "$top" | awk -F: '/Absolute upper-left X/ {x = $2} /Absolute upper-left Y/ {y = $2}
    /Width/ {w = $2} /Height/ {h = $2} END {print x, y, w, h}')
  echo "wine-e2e: window $top at $wx,$wy, $ww x $wh"
  # Maximized: the frame's borders lie just outside the desktop on every side.
  border=$(((ww - desktop_w) / 2))
  if [ "$border" -lt 0 ] || [ "$((wx + border))" -ne 0 ] || [ "$((wy + border))" -ne 0 ] || [ "$((wh - 2 * border))" -ne "$desktop_h" ]; then
    fail "the window is not maximized ($wx,$wy, $ww x $wh on a $desktop_w x $desktop_h desktop)"
  fi
  client_x=$((wx + border))
  client_y=$((wy + border + caption))
}

wine_e2e_close() {
  timeout 10 xdotool mousemove $((client_x + 400)) $((client_y + 400))
  key alt+F4
  until_true 30 ended "$app" || fail "Tilepost did not end after its window was closed"
  local rc=0
  wait "$app" || rc=$?
  app=""
  [ "$rc" -eq 0 ] || fail "Tilepost exited with code $rc"
  until_true 10 heard QUIT || fail "no QUIT after the window closed"
}
