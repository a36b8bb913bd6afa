#!/usr/bin/env bash
# End-to-end tests of the Windows program: the real fileptt.exe under Wine on the X
# display of scripts/windows/test.sh, driven from outside as an operator would drive it,
# with xdotool (keys and clicks), ImageMagick (screenshots of what Wine drew) and
# window_facts.exe (what Windows says about a window: styles, rectangles, hit tests,
# control texts). Each run starts the program in a fresh working directory of its own,
# where the test creates and deletes TX.txt.
#
# Usage (ctest runs it inside the harness's namespace, with its prefix, port and display):
#   fileptt_under_wine.sh --exe fileptt.exe --facts window_facts.exe --wine-dir <build>/wine
#                         --wine-run scripts/windows/wine-run.sh --artefacts <dir>
#                         <scenario> [case]
# Scenarios: window, label, port [high], error-box, close <escape|close-button|close-box>,
# stall. "port high" uses the test port's second name, numbered above 9 (COM12).
# Exit status: 0 passed, 1 failed, 77 skipped (not inside the harness).
#
# Wine differences met (each test prints the ones it meets as "Wine difference: ..."):
# - Wine does not carry out DTR handshake: DTR stays low while RTS follows TX.txt.
# - Wine does not refuse a second open of a port (share mode 0): "a port held by another
#   program" cannot be brought about, so the error box is shown for a COM name that
#   the prefix does not know.
# - Wine clears HUPCL: after the port is closed its lines stay as last set, so the
#   release is seen as no process holding the device rather than on the lines.
# - There is no window manager: Wine draws the caption and its close box itself
#   (X11 Driver Managed=N), so the X window is the whole Win32 window.
set -uo pipefail

exe="" facts_exe="" wine_dir="" wine_run="" artefacts=""
while [ $# -gt 0 ]; do
  case $1 in
    --exe) exe=$2; shift 2 ;;
    --facts) facts_exe=$2; shift 2 ;;
    --wine-dir) wine_dir=$2; shift 2 ;;
    --wine-run) wine_run=$2; shift 2 ;;
    --artefacts) artefacts=$2; shift 2 ;;
    *) break ;;
  esac
done
scenario=${1:?scenario}
case_name=${2:-}

readonly caption="File TX.txt"
readonly error_text="Comport not available or already open by another application"
readonly error_caption="Comport"
# Generous: a loaded machine starts Wine programs slowly; a tick is 500 ms.
readonly start_deadline=60
readonly change_deadline=15

fail() { echo "FAIL: $*" >&2; exit 1; }
skip() { echo "SKIP: $*"; exit 77; }
step() { echo "-- $*"; }
wine_difference() { echo "Wine difference: $*"; }

# ---- Inside the harness? -----------------------------------------------------------------
[ -n "${DISPLAY:-}" ] || skip "no X display: run through scripts/windows/test.sh"
[ -f "$wine_dir/prefix/system.reg" ] || skip "no Wine prefix: run through scripts/windows/test.sh"
for node in /dev/ttyS* /dev/ttyUSB* /dev/ttyACM*; do
  [ -c "$node" ] && skip "$node is a real serial device here: run through scripts/windows/test.sh"
done
for tool in xdotool import convert compare; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup.sh all)"
done
# The ports and the modem-line simulator of this run, as test.sh found them.
# shellcheck disable=SC1091
. "$wine_dir/env"

run_dir="$artefacts/$scenario${case_name:+-$case_name}"
rm -rf "$run_dir"
mkdir -p "$run_dir"
workdir=""
program_pid=""

cleanup() {
  # A stopped file system first: a program hung in it may not end before it answers.
  unmount_stoppable_directory
  if [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null; then
    kill "$program_pid" 2>/dev/null
    wait "$program_pid" 2>/dev/null
  fi
  [ -n "$workdir" ] && rm -rf "$workdir"
}
trap cleanup EXIT

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

# wait_for <seconds> <what> <command...>: polls the command until it succeeds.
wait_for() {
  local limit=$1 what=$2
  shift 2
  local deadline=$(( $(now_ms) + limit * 1000 ))
  until "$@"; do
    [ "$(now_ms)" -lt "$deadline" ] || { echo "timed out after ${limit} s waiting for $what" >&2; return 1; }
    sleep 0.05
  done
}

# ---- The program -------------------------------------------------------------------------
# start_program: starts the program in a fresh working directory and waits for its window.
start_program() {
  workdir=$(mktemp -d "${TMPDIR:-/tmp}/fileptt-wine-e2e.XXXXXX")
  # Anything the test wants in the directory before the start goes in now.
  [ -n "${prepare_workdir:-}" ] && "$prepare_workdir"
  (cd "$workdir" && exec "$wine_run" "$wine_dir" "$exe") >"$run_dir/program.log" 2>&1 &
  program_pid=$!
  wait_for "$start_deadline" "the window \"$caption\"" find_main_window \
    || fail "no window \"$caption\" appeared (program log: $run_dir/program.log)"
}

# find_main_window [pid]: the program's visible window, in main_xid.
find_main_window() {
  main_xid=$(xdotool search --all --onlyvisible --pid "${1:-$program_pid}" --name "^File TX\\.txt\$" 2>/dev/null | head -n1)
  [ -n "$main_xid" ]
}

find_error_box() {
  box_xid=$(xdotool search --all --onlyvisible --pid "$program_pid" --name "^$error_caption\$" 2>/dev/null | head -n1)
  [ -n "$box_xid" ]
}
no_error_box() { ! find_error_box; }
main_window_gone() { ! find_main_window "$@"; }

program_running() {
  local state
  state=$(ps -o stat= -p "$program_pid" 2>/dev/null) || return 1
  [ -n "$state" ] && [ "${state#Z}" = "$state" ]
}
program_ended() { ! program_running; }

# expect_exit_code_0 <how>: waits for the process to end and checks its exit code.
expect_exit_code_0() {
  wait_for "$start_deadline" "the program to end after $1" program_ended \
    || fail "the program still runs after $1"
  local pid=$program_pid
  wait "$pid"
  local code=$?
  program_pid=""
  [ "$code" -eq 0 ] || fail "exit code $code after $1, expected 0"
  echo "exit code 0 after $1"
  wait_for "$change_deadline" "the window to go" main_window_gone "$pid" \
    || fail "the window is still on the screen after the end"
}

# ---- Keys and clicks ---------------------------------------------------------------------
click_at() {
  xdotool mousemove --sync "$1" "$2" click 1
}
# Clicks the middle of a rectangle "l t r b" in screen coordinates.
click_rect() {
  local l t r b
  read -r l t r b <<<"$1"
  click_at $(( (l + r) / 2 )) $(( (t + b) / 2 ))
}
# Keys go to the window under the pointer or the one Wine gave the focus; both are the
# target here.
key_to() {
  local xid=$1
  shift
  local X Y WIDTH HEIGHT WINDOW SCREEN
  eval "$(xdotool getwindowgeometry --shell "$xid")"
  xdotool mousemove --sync $(( X + WIDTH / 2 )) $(( Y + 8 ))
  xdotool key --clearmodifiers "$@"
}

# ---- What Windows says about a window (window_facts.exe) ---------------------------------
# facts <caption> <name>: runs "window_facts show"; the answer is kept as an artefact.
facts() {
  local out
  out=$("$wine_run" "$wine_dir" "$facts_exe" show "$1" 2>>"$run_dir/facts.log" | tr -d '\r') \
    || fail "window_facts found no window \"$1\""
  printf '%s\n' "$out" >"$run_dir/facts-$2.txt"
  FACTS=$out
}
fact() { printf '%s\n' "$FACTS" | sed -n "s/^$1=//p" | head -n1; }
# child <id>: "<class> <style> l t r b <text>" of the child control with that id.
child() { printf '%s\n' "$FACTS" | sed -n "s/^child=$1 //p" | head -n1; }
child_rect() { local c s l t r b rest; read -r c s l t r b rest <<<"$(child "$1")"; echo "$l $t $r $b"; }
child_text() { local c s l t r b rest; read -r c s l t r b rest <<<"$(child "$1")"; echo "$rest"; }

readonly ID_PORT_TEXT=1002 ID_SET_PORT=1003 ID_STATUS_LABEL=1994 IDCANCEL=2

# main_geometry: reads the main window's facts into the globals used below.
main_geometry() {
  facts "$caption" "$1"
  read -r win_l win_t win_r win_b <<<"$(fact window)"
  read -r cl_l cl_t cl_r cl_b <<<"$(fact client)"
  read -r lab_l lab_t lab_r lab_b <<<"$(child_rect $ID_STATUS_LABEL)"
  [ -n "$lab_l" ] || fail "the window has no status label (control $ID_STATUS_LABEL)"
  set_port_rect=$(child_rect $ID_SET_PORT)
  close_rect=$(child_rect $IDCANCEL)
  port_rect=$(child_rect $ID_PORT_TEXT)
}

# ---- Screenshots and the label -----------------------------------------------------------
shot() { import -window "$main_xid" "$1" 2>/dev/null; }

# crop_of <rect l t r b in screen coordinates>: the ImageMagick crop inside a screenshot
# of the main window (its X window is the whole Win32 window).
crop_of() {
  local l t r b
  read -r l t r b <<<"$1"
  echo "$(( r - l ))x$(( b - t ))+$(( l - win_l ))+$(( t - win_t ))"
}

# The dialog's own background, from the strip between the label and the buttons.
background_of() {
  convert "$1" -format "%[pixel:p{$(( cl_l + 2 - win_l )),$(( lab_b + 2 - win_t ))}]" info:
}

# label_width <shot>: the width in pixels of whatever is drawn in the label; 0 when it
# shows nothing. The label is drawn by the program; there is no text to read back here.
label_width() {
  local bg box
  bg=$(background_of "$1")
  box=$(convert "$1" -crop "$(crop_of "$lab_l $lab_t $lab_r $lab_b")" +repage \
          -bordercolor "$bg" -border 1 -format '%@' info: 2>/dev/null)
  echo "${box%%x*}"
}

# colours_in <shot> <rect>: how many distinct colours the area holds (1: nothing drawn).
colours_in() {
  convert "$1" -crop "$(crop_of "$2")" +repage -format '%k' info:
}

current_label_width() {
  local file=$run_dir/current.png
  shot "$file" || return 1
  label_width "$file"
}

label_width_is() { [ "$(current_label_width)" = "$1" ]; }
label_narrower_than() { local w; w=$(current_label_width); [ -n "$w" ] && [ "$w" -gt 0 ] && [ "$w" -lt "$1" ]; }
label_shows_text() { local w; w=$(current_label_width); [ -n "$w" ] && [ "$w" -gt 0 ]; }

# capture_first_shots: screenshots, as fast as they come, from the moment the window is
# mapped until past the first tick (500 ms after the timer starts); they are analysed
# once the geometry is known.
first_shots=()
capture_first_shots() {
  first_shots=()
  local until=$(( $(now_ms) + 1800 )) n=0 file
  while [ "$(now_ms)" -lt "$until" ]; do
    file=$(printf '%s/first-%03d.png' "$run_dir" "$n")
    shot "$file" && first_shots+=("$file")
    n=$(( n + 1 ))
  done
}

# keep_first_shots <file...>: the screenshots that show what was found stay, as
# label-empty.png and label-first-text.png.
keep_first_shots() {
  mv "$1" "$run_dir/label-empty.png"
  [ $# -gt 1 ] && mv "$2" "$run_dir/label-first-text.png"
  rm -f "$run_dir"/first-*.png
}

# label_starts_empty: true when a fully painted screenshot (the last control,
# "Set comport", drawn) showed an empty label before any text appeared.
label_starts_empty() {
  local file width seen_empty=""
  first_text_width=""
  for file in "${first_shots[@]}"; do
    [ "$(colours_in "$file" "$set_port_rect")" -gt 1 ] || continue
    width=$(label_width "$file")
    if [ "$width" = 0 ]; then
      seen_empty=$file
    else
      first_text_width=$width
      echo "first text in $(basename "$file"): $width px wide; empty before it: ${seen_empty:+$(basename "$seen_empty")}"
      [ -n "$seen_empty" ] || return 1
      keep_first_shots "$seen_empty" "$file"
      return 0
    fi
  done
  [ -n "$seen_empty" ] || { echo "no fully painted screenshot among the first ones"; return 1; }
  echo "empty label in $(basename "$seen_empty"), no text yet"
  keep_first_shots "$seen_empty"
  wait_for "$change_deadline" "the first text in the label" label_shows_text \
    || fail "the label never showed a text"
  first_text_width=$(current_label_width)
}

# ---- The serial port (modem-line simulator) ----------------------------------------------
pty_name=${FILEPTT_TEST_PTY:-}
pty_name=${pty_name#/dev/}
sim_state() { cat "${MODEMSIM_DIR:-/nonexistent}/${pty_name/\//-}.state" 2>/dev/null; }
sim_log() { echo "${MODEMSIM_DIR:-/nonexistent}/${pty_name/\//-}.log"; }
sim_events() { [ -f "$(sim_log)" ] && wc -l <"$(sim_log)" || echo 0; }
lines_are() { [ "$(sim_state)" = "$1" ]; }
# port_holders: the processes that have the test port's device open (ptyhold holds only
# the other end).
port_holders() {
  find /proc/[0-9]*/fd -lname "$FILEPTT_TEST_PTY" 2>/dev/null | cut -d/ -f3 | sort -u \
    | while read -r pid; do echo "$pid($(cat "/proc/$pid/comm" 2>/dev/null))"; done | tr '\n' ' '
}
port_free() { [ -z "$(port_holders)" ]; }
port_held() { [ -n "$(port_holders)" ]; }
# event_since <count> <cause>: a simulator event of that cause after the first <count>.
event_since() { [ -f "$(sim_log)" ] && tail -n +"$(( $1 + 1 ))" "$(sim_log)" | grep -q " $2\$"; }

# ---- The port box ------------------------------------------------------------------------
type_port_number() {
  click_rect "$port_rect"
  key_to "$main_xid" End BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace
  xdotool type --delay 50 "$1"
}

# ========================================================================================
# Scenarios
# ========================================================================================

scenario_window() {
  start_program
  wait_first_text
  local file=$run_dir/window.png
  shot "$file"

  step "centred on the screen (X) and in the work area (Windows)"
  local X Y WIDTH HEIGHT WINDOW SCREEN
  eval "$(xdotool getwindowgeometry --shell "$main_xid")"
  local screen_w screen_h
  read -r screen_w screen_h <<<"$(xdotool getdisplaygeometry)"
  echo "X window ${WIDTH}x${HEIGHT}+${X}+${Y} on a ${screen_w}x${screen_h} screen"
  [ "$X" -eq "$win_l" ] && [ "$Y" -eq "$win_t" ] && [ "$WIDTH" -eq $(( win_r - win_l )) ] \
    && [ "$HEIGHT" -eq $(( win_b - win_t )) ] \
    || fail "the X window ${WIDTH}x${HEIGHT}+${X}+${Y} is not the Win32 window $win_l $win_t $win_r $win_b"
  local dx=$(( X - (screen_w - WIDTH) / 2 )) dy=$(( Y - (screen_h - HEIGHT) / 2 ))
  [ "${dx#-}" -le 1 ] && [ "${dy#-}" -le 1 ] \
    || fail "not centred: off by $dx, $dy pixels from the centred position"
  local wl wt wr wb
  read -r wl wt wr wb <<<"$(fact workarea)"
  dx=$(( win_l - wl - (wr - wl - WIDTH) / 2 )); dy=$(( win_t - wt - (wb - wt - HEIGHT) / 2 ))
  [ "${dx#-}" -le 1 ] && [ "${dy#-}" -le 1 ] \
    || fail "not centred in the work area $wl $wt $wr $wb: off by $dx, $dy"

  step "caption with a close box only, not resizable"
  local style exstyle
  style=$(fact style); exstyle=$(fact exstyle)
  echo "style $style, extended style $exstyle"
  (( (style & 0x00C00000) == 0x00C00000 )) || fail "no caption (WS_CAPTION) in $style"
  (( style & 0x00080000 )) || fail "no window menu (WS_SYSMENU), hence no close box, in $style"
  (( (style & 0x00020000) == 0 )) || fail "a minimise box (WS_MINIMIZEBOX) in $style"
  (( (style & 0x00010000) == 0 )) || fail "a maximise box (WS_MAXIMIZEBOX) in $style"
  (( (style & 0x00040000) == 0 )) || fail "a sizing border (WS_THICKFRAME) in $style"
  (( (exstyle & 0x00000400) == 0 )) || fail "a help box (WS_EX_CONTEXTHELP) in $exstyle"
  local caption_row
  caption_row=$(fact caption)
  echo "caption row, left to right: $caption_row"
  case " $caption_row " in *" HTCLOSE "*) ;; *) fail "no close box in the caption: $caption_row" ;; esac
  case " $caption_row " in
    *" HTMINBUTTON "* | *" HTMAXBUTTON "* | *" HTHELP "*) fail "more buttons than the close box: $caption_row" ;;
  esac
  case " ${caption_row##*HTCLOSE} " in
    *" HTCAPTION "*) fail "the close box is not at the caption's right end: $caption_row" ;;
  esac
  [ "$(fact frame)" = HTBORDER ] || fail "the outer edge is not a plain border (resizable?): $(fact frame)"

  step "the close box is drawn as a cross (Wine's symbol font in the prefix)"
  local cb_l cb_t cb_r cb_b
  read -r cb_l cb_t cb_r cb_b <<<"$(fact closebox)"
  # Inside the button's 3-D edges; the glyph alone, then mirrored both ways.
  local glyph=$run_dir/close-glyph.png
  convert "$file" -crop "$(crop_of "$(( cb_l + 3 )) $(( cb_t + 3 )) $(( cb_r - 3 )) $(( cb_b - 3 ))")" +repage \
    -colorspace gray -threshold 50% -negate -trim +repage -negate "$glyph"
  local size pixels flop flip
  size=$(convert "$glyph" -format '%wx%h' info:)
  pixels=$(convert "$glyph" -negate -format '%[fx:round(w*h*mean)]' info:)
  convert "$glyph" -flop "$run_dir/close-glyph-flop.png"
  convert "$glyph" -flip "$run_dir/close-glyph-flip.png"
  flop=$(compare -metric AE "$glyph" "$run_dir/close-glyph-flop.png" null: 2>&1)
  flip=$(compare -metric AE "$glyph" "$run_dir/close-glyph-flip.png" null: 2>&1)
  echo "close glyph $size, $pixels dark pixels; differs from its mirror images in $flop and $flip pixels"
  [ "$pixels" -ge 8 ] || fail "no glyph in the close box"
  [ "$flop" -le $(( pixels / 4 )) ] && [ "$flip" -le $(( pixels / 4 )) ] \
    || fail "the close box glyph is not a cross (a letter drawn in place of Marlett's symbol?): see $glyph"
  wine_difference "Wine, not a window manager, draws the caption and its close box (Managed=N); on Windows the system draws them"

  step "the port box shows 1 in red on the info-tip colour"
  [ "$(child_text $ID_PORT_TEXT)" = 1 ] || fail "the port box holds \"$(child_text $ID_PORT_TEXT)\", not 1"
  local pl pt pr pb infobk red
  read -r pl pt pr pb <<<"$port_rect"
  infobk=$(fact infobk)
  red=$(convert "$file" -crop "$(crop_of "$port_rect")" +repage -format %c histogram:info: \
          | sed -n 's/^ *\([0-9]*\):.*#FF0000 .*/\1/p')
  local inside
  inside=$(convert "$file" -format "%[pixel:p{$(( pr - 4 - win_l )),$(( pb - 4 - win_t ))}]" info:)
  echo "port box: $red pure red pixels, background $inside, COLOR_INFOBK $infobk"
  [ "${red:-0}" -gt 0 ] || fail "no red text in the port box"
  [ "$(convert xc:"$inside" -format '%[fx:round(255*r)] %[fx:round(255*g)] %[fx:round(255*b)]' info:)" = "$infobk" ] \
    || fail "the port box background $inside is not COLOR_INFOBK ($infobk)"

  key_to "$main_xid" Escape
  expect_exit_code_0 "Escape"
}

scenario_label() {
  # A name that differs only in letter case is there from the start; Wine's file search
  # ignores case, the program must not.
  prepare_workdir=put_lower_case_decoy
  local attempt
  for attempt in 1 2 3; do
    start_program
    capture_first_shots
    main_geometry attempt-$attempt
    label_starts_empty && break
    # The first painted screenshot may come after the first tick on a loaded machine;
    # that is no fault of the program, a label that shows text from the start is.
    echo "attempt $attempt: no painted screenshot with an empty label before the first text"
    key_to "$main_xid" Escape
    expect_exit_code_0 "Escape"
    rm -rf "$workdir"
    [ "$attempt" -lt 3 ] || fail "the label showed text from the first painted screenshot on, three runs in a row (see $run_dir/first-*.png)"
  done

  step "PTT OFF first (only tx.txt, lower case, is there)"
  local off_width=$first_text_width
  wait_for "$change_deadline" "a steady label" label_width_is "$off_width" \
    || fail "the label did not settle at its first text ($off_width px)"
  [ "$(child_text $ID_STATUS_LABEL)" = "PTT OFF" ] || fail "the label's text is \"$(child_text $ID_STATUS_LABEL)\", not PTT OFF"
  cp "$run_dir/current.png" "$run_dir/ptt-off.png"

  step "TX.txt created in the working directory: PTT ON, narrower"
  mv "$workdir/tx.txt" "$workdir/TX.txt"
  wait_for "$change_deadline" "the label to change to a narrower text" label_narrower_than "$off_width" \
    || fail "the label stayed $(current_label_width) px wide after TX.txt was created (PTT OFF is $off_width)"
  local on_width
  on_width=$(current_label_width)
  cp "$run_dir/current.png" "$run_dir/ptt-on.png"
  facts "$caption" on
  [ "$(child_text $ID_STATUS_LABEL)" = "PTT ON" ] || fail "the label's text is \"$(child_text $ID_STATUS_LABEL)\", not PTT ON"
  echo "PTT OFF $off_width px, PTT ON $on_width px"

  step "TX.txt deleted: PTT OFF again, at the first width"
  rm "$workdir/TX.txt"
  wait_for "$change_deadline" "the label to return to PTT OFF" label_width_is "$off_width" \
    || fail "the label is $(current_label_width) px wide after TX.txt was deleted, PTT OFF was $off_width"

  key_to "$main_xid" Escape
  expect_exit_code_0 "Escape"
}

put_lower_case_decoy() { : >"$workdir/tx.txt"; }

# Waits until the first tick has drawn a text and returns its width in off_width.
wait_first_text() {
  main_geometry opened
  wait_for "$change_deadline" "the first text in the label" label_shows_text \
    || fail "the label never showed a text"
  off_width=$(current_label_width)
}

scenario_port() {
  [ -n "${MODEMSIM_DIR:-}" ] && [ -n "$pty_name" ] \
    || skip "the modem-line simulator is not loaded in this run: RTS and DTR cannot be watched"
  local com=$FILEPTT_TEST_COM
  [ "$case_name" = high ] && com=${FILEPTT_TEST_HIGH_COM:?the harness maps no second port name}
  local port_number=${com#COM}
  port_free || fail "the test port is held before the start by: $(port_holders)"
  local before
  before=$(sim_events)
  start_program
  wait_first_text
  [ "$(sim_events)" = "$before" ] || fail "the port was touched before \"Set comport\": $(tail -n +$(( before + 1 )) "$(sim_log)")"

  step "Set comport with $port_number ($com, mapped to $FILEPTT_TEST_PTY)"
  type_port_number "$port_number"
  facts "$caption" typed
  [ "$(child_text $ID_PORT_TEXT)" = "$port_number" ] || fail "the port box holds \"$(child_text $ID_PORT_TEXT)\" after typing $port_number"
  before=$(sim_events)
  click_rect "$set_port_rect"
  wait_for "$change_deadline" "the port to be opened" event_since "$before" open \
    || fail "the port was not opened after \"Set comport\""
  wait_for "$change_deadline" "both lines low after the open" lines_are "DTR=0 RTS=0" \
    || fail "lines are $(sim_state) after \"Set comport\", expected both low"
  find_error_box && fail "an error box came up for the mapped port $com"
  port_held || fail "nobody holds the port after \"Set comport\""
  echo "port held by: $(port_holders)"

  step "TX.txt created: RTS up"
  : >"$workdir/TX.txt"
  wait_for "$change_deadline" "RTS up" lines_are "DTR=0 RTS=1" \
    || fail "lines are $(sim_state) with TX.txt present, expected RTS=1 (and DTR=0 under Wine)"
  wine_difference "DTR does not follow TX.txt: Wine does not carry out DTR handshake, so DTR stays low (Windows raises it)"
  wait_for "$change_deadline" "PTT ON" label_narrower_than "$off_width" || fail "the label did not show PTT ON"
  cp "$run_dir/current.png" "$run_dir/ptt-on-port.png"

  step "TX.txt deleted: RTS down"
  rm "$workdir/TX.txt"
  wait_for "$change_deadline" "RTS down" lines_are "DTR=0 RTS=0" \
    || fail "lines are $(sim_state) after TX.txt was deleted, expected both low"
  wait_for "$change_deadline" "PTT OFF" label_width_is "$off_width" || fail "the label did not return to PTT OFF"

  step "Escape ends the program; the port is released and the lines stay low"
  key_to "$main_xid" Escape
  expect_exit_code_0 "Escape"
  wait_for "$change_deadline" "the port to be released" port_free \
    || fail "the port is still held after the end by: $(port_holders)"
  lines_are "DTR=0 RTS=0" || fail "lines are $(sim_state) after the end"
  wine_difference "Wine clears HUPCL, so closing the port leaves the lines as last set; the release shows as no process holding the device"
}

# check_error_box <name>: checks the box that is up and reads where its OK button is.
check_error_box() {
  facts "$error_caption" "$1"
  [ "$(fact owner)" = 0x0 ] || fail "the error box has an owner window: $(fact owner)"
  printf '%s\n' "$FACTS" | grep -q "^child=[0-9]* Static 0x[0-9a-f]* -\?[0-9]* -\?[0-9]* -\?[0-9]* -\?[0-9]* $error_text\$" \
    || fail "the error box does not say \"$error_text\" (see $run_dir/facts-$1.txt)"
  ok_rect=$(printf '%s\n' "$FACTS" | sed -n 's/^child=1 Button 0x[0-9a-f]* \(-\?[0-9]* -\?[0-9]* -\?[0-9]* -\?[0-9]*\) OK$/\1/p')
  [ -n "$ok_rect" ] || fail "the error box has no OK button"
  [ "$(printf '%s\n' "$FACTS" | grep -c '^child=[0-9]* Button ')" = 1 ] || fail "the error box has more than one button"
  # SS_ICON: the error icon.
  local id class style icon=""
  while read -r id class style _; do
    [ "$class" = Static ] && (( (style & 0x1F) == 3 )) && icon=$id
  done < <(printf '%s\n' "$FACTS" | sed -n 's/^child=//p')
  [ -n "$icon" ] || fail "the error box shows no icon"
}

# The box comes up centred on the screen, over the window; moved above it, the label
# can be watched while the box is up. Uses the box's facts.
move_error_box_above_the_window() {
  local bl bt br bb
  read -r bl bt br bb <<<"$(fact window)"
  box_x=$(( (win_l + win_r) / 2 - (br - bl) / 2 )); box_x=$(( box_x < 0 ? 0 : box_x ))
  box_y=$(( win_t - (bb - bt) - 8 )); box_y=$(( box_y < 0 ? 0 : box_y ))
  box_w=$(( br - bl )) box_h=$(( bb - bt ))
  "$wine_run" "$wine_dir" "$facts_exe" move "$error_caption" "$box_x" "$box_y" 2>>"$run_dir/facts.log" \
    || fail "could not move the error box"
  wait_for "$change_deadline" "the box to move" box_is_at "$box_x" "$box_y" || fail "the error box did not move"
}
box_is_at() {
  local X Y WIDTH HEIGHT WINDOW SCREEN
  eval "$(xdotool getwindowgeometry --shell "$box_xid")"
  [ "$X" -eq "$1" ] && [ "$Y" -eq "$2" ]
}

# scene_shot <file>: the part of the screen that holds the window and the moved box.
scene_shot() {
  local l=$(( box_x < win_l ? box_x : win_l )) t=$box_y
  local r=$(( box_x + box_w > win_r ? box_x + box_w : win_r )) b=$win_b
  l=$(( l - 8 < 0 ? 0 : l - 8 )); t=$(( t - 8 < 0 ? 0 : t - 8 ))
  import -window root -crop "$(( r + 8 - l ))x$(( b + 8 - t ))+$l+$t" +repage "$1" 2>/dev/null
}

scenario_error_box() {
  local port_number=${FILEPTT_UNMAPPED_COM#COM}
  start_program
  wait_first_text
  wine_difference "Wine lets a second program open a port that is held (share mode 0 is not enforced); the box is shown for $FILEPTT_UNMAPPED_COM, a COM name this prefix does not know"

  step "Set comport with $port_number: the error box"
  type_port_number "$port_number"
  facts "$caption" typed
  [ "$(child_text $ID_PORT_TEXT)" = "$port_number" ] || fail "the port box holds \"$(child_text $ID_PORT_TEXT)\" after typing $port_number"
  click_rect "$set_port_rect"
  wait_for "$change_deadline" "the error box" find_error_box || fail "no box \"$error_caption\" after \"Set comport\" with $port_number"
  check_error_box first
  import -window "$box_xid" "$run_dir/error-box.png"
  move_error_box_above_the_window
  scene_shot "$run_dir/error-box-scene.png"

  step "ticks go on while the box is up"
  : >"$workdir/TX.txt"
  wait_for "$change_deadline" "PTT ON under the box" label_narrower_than "$off_width" \
    || fail "the label did not follow TX.txt while the error box was up"
  scene_shot "$run_dir/error-box-scene-ptt-on.png"
  rm "$workdir/TX.txt"
  wait_for "$change_deadline" "PTT OFF under the box" label_width_is "$off_width" \
    || fail "the label did not return to PTT OFF while the error box was up"
  find_error_box || fail "the error box went away by itself"

  step "Enter dismisses the box; the program goes on"
  key_to "$box_xid" Return
  wait_for "$change_deadline" "the box to go" no_error_box || fail "Enter did not dismiss the error box"
  program_running || fail "the program ended with the box"
  : >"$workdir/TX.txt"
  wait_for "$change_deadline" "PTT ON after the box" label_narrower_than "$off_width" || fail "ticks stopped after the box"
  rm "$workdir/TX.txt"

  step "again; its OK button dismisses it"
  click_rect "$set_port_rect"
  wait_for "$change_deadline" "the error box again" find_error_box || fail "no error box at the second \"Set comport\""
  check_error_box second
  click_rect "$ok_rect"
  wait_for "$change_deadline" "the box to go" no_error_box || fail "the OK button did not dismiss the error box"
  program_running || fail "the program ended with the box"

  step "\"&Close\" while the box is up ends the window; the program ends once the box goes"
  click_rect "$set_port_rect"
  wait_for "$change_deadline" "the error box a third time" find_error_box || fail "no error box at the third \"Set comport\""
  check_error_box third
  move_error_box_above_the_window
  click_rect "$close_rect"
  wait_for "$change_deadline" "the window to go" main_window_gone \
    || fail "\"&Close\" did not end the window while the error box was up"
  find_error_box || fail "the error box went with the window"
  key_to "$box_xid" Return
  expect_exit_code_0 "\"&Close\" under the error box, then Enter"
}

scenario_close() {
  # A Windows program's exit code reaches us through wine: window_facts ends with 3 when
  # it finds no window, so a 0 from the program means the program said 0.
  "$wine_run" "$wine_dir" "$facts_exe" show "no such window" >/dev/null 2>>"$run_dir/facts.log"
  [ $? -eq 3 ] || fail "wine did not pass a program's exit code through"

  start_program
  wait_first_text
  case $case_name in
    escape)
      key_to "$main_xid" Escape ;;
    close-button)
      click_rect "$close_rect" ;;
    close-box)
      local cb_l cb_t cb_r cb_b
      read -r cb_l cb_t cb_r cb_b <<<"$(fact closebox)"
      [ -n "$cb_l" ] || fail "no close box in the caption"
      click_rect "$cb_l $cb_t $cb_r $cb_b" ;;
    *) fail "unknown way of closing: $case_name" ;;
  esac
  expect_exit_code_0 "$case_name"
}

# The working directory on a file system that stops answering (caseless_fs_server,
# stopped with SIGSTOP) while keyed: the program's one thread hangs in the trigger
# lookup; its watchdog drops the lines within 2 s of the last tick while it lives on,
# and when the file system answers again TX.txt is still there and RTS comes back.
scenario_stall() {
  [ -n "${MODEMSIM_DIR:-}" ] && [ -n "$pty_name" ] \
    || skip "the modem-line simulator is not loaded in this run: RTS and DTR cannot be watched"
  [ -x "${FILEPTT_CASELESS_FS_SERVER:-}" ] \
    || skip "no caseless_fs_server (the host build's file system that can be stopped)"
  prepare_workdir=mount_stoppable_directory
  start_program
  wait_first_text

  step "Set comport with ${FILEPTT_TEST_COM#COM}, TX.txt present: RTS up"
  type_port_number "${FILEPTT_TEST_COM#COM}"
  click_rect "$set_port_rect"
  wait_for "$change_deadline" "RTS up" lines_are "DTR=0 RTS=1" \
    || fail "lines are $(sim_state) with TX.txt present, expected RTS=1 (and DTR=0 under Wine)"

  step "the file system stops answering: both lines down within 2 s of the last tick"
  local before
  before=$(sim_events)
  kill -STOP "$fs_pid"
  wait_for "$change_deadline" "the lines to drop" lines_are "DTR=0 RTS=0" \
    || fail "lines are $(sim_state) with the program hung in its working directory"
  program_running || fail "the program ended instead of hanging"
  # The simulator's clock: the drop against the tick that came last before it.
  local drop_ns last_ns
  read -r drop_ns last_ns < <(tail -n +"$(( before + 1 ))" "$(sim_log)" \
    | awk '$4 == "DTR=0" && $5 == "RTS=0" { print $1, last; exit } { last = $1 }')
  [ -n "$drop_ns" ] || fail "no drop in the simulator's log: $(tail -n +"$(( before + 1 ))" "$(sim_log)")"
  [ -n "$last_ns" ] || last_ns=$(sed -n "${before}p" "$(sim_log)" | cut -d' ' -f1)
  echo "lines dropped $(( (drop_ns - last_ns) / 1000000 )) ms after the last tick"
  [ $(( drop_ns - last_ns )) -lt 2000000000 ] || fail "the drop came $(( (drop_ns - last_ns) / 1000000 )) ms after the last tick"

  step "the file system answers again: RTS up at the next tick (TX.txt is still there)"
  kill -CONT "$fs_pid"
  wait_for "$change_deadline" "RTS up again" lines_are "DTR=0 RTS=1" \
    || fail "lines are $(sim_state) after the file system came back, with TX.txt present"
  key_to "$main_xid" Escape
  expect_exit_code_0 "Escape"
}

fs_pid=""
mount_stoppable_directory() {
  local said=$run_dir/fs-server.out
  "$FILEPTT_CASELESS_FS_SERVER" "$workdir" TX.txt >"$said" 2>&1 &
  fs_pid=$!
  wait_for "$change_deadline" "the file system to serve" grep -qx mounted "$said" \
    || fail "caseless_fs_server did not mount: $(cat "$said")"
}
unmount_stoppable_directory() {
  [ -n "$fs_pid" ] || return 0
  kill -CONT "$fs_pid" 2>/dev/null
  umount -l "$workdir" 2>/dev/null
  kill -KILL "$fs_pid" 2>/dev/null
  wait "$fs_pid" 2>/dev/null
  fs_pid=""
}

case $scenario in
  stall) scenario_stall ;;
  window) scenario_window ;;
  label) scenario_label ;;
  port) scenario_port ;;
  error-box) scenario_error_box ;;
  close) scenario_close ;;
  *) fail "unknown scenario $scenario" ;;
esac
echo "PASS: $scenario${case_name:+ $case_name}"
