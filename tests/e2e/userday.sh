#!/usr/bin/env bash
# A user's first day with the built application, on a virtual X display: real key presses and mouse clicks
# (xdotool), judged only by what the application writes (mvx.ini, search.dat, the catalogue as
# marovex-cli dumps it, the clipboard, a PDF file) and by screenshots. Usage: tests/e2e/userday.sh BUILD_DIR [SHOT_DIR]
set -euo pipefail
build=$(cd "${1:?usage: userday.sh BUILD_DIR [SHOT_DIR]}" && pwd)
shots=${2:-}
. "$(dirname "$0")/lib.sh"

# --- An archive and an application folder, indexed by the companion ------------------------------------
"$build/tools/genarchive" --out "$work/archive" --issues 12 --seed 5 >/dev/null
mkdir -p "$app"
cp "$build/Marovex/marovex" "$build/Marovex/marovex-cli" "$app/"
cp -r "$build/Marovex/Locale" "$build/Marovex/Help" "$app/"
# A normal window at a known place, the pane on, state kept between runs, and the user's own colours.
printf '%s\r\n' '[options]' "dbdir=$work/archive" 'kelvra GOLD=1' 'kelvra Release=1' 'kelvra=1' \
  '[interface]' 'local=rus.lng' 'select_browser=1' 'state_save=1' 'color_link=clRed' 'color_find=clLime' \
  'color_table=clYellow' 'WindowState=2' 'WindowLeft=40' 'WindowTop=30' 'WindowWidth=900' \
  'WindowHeight=600' 'Internal_browser_height=400' 'col_width_Izb=40' 'col_width_Type=110' \
  'col_width_Number=60' 'col_width_Tem=170' 'col_width_Statia=480' >"$app/mvx.ini"
"$app/marovex-cli" --app-dir "$app" init >/dev/null
"$app/marovex-cli" --app-dir "$app" index 2>/dev/null
cli() { "$app/marovex-cli" --app-dir "$app" "$@"; }
# Every article page gets a line at its top for the pane's reading: a word three times in three letter
# cases, the last a link to a page of its own beside the issues.
printf '<html><body><p>Kelvrania next page</p></body></html>' >"$work/archive/zorbex-next.htm"
while IFS= read -r -d '' page; do
  next=$(realpath --relative-to="$(dirname "$page")" "$work/archive/zorbex-next.htm")
  sed -i "0,/<body[^>]*>/I s||&<p>Zorbex one, zorbex two, <a href=\"$next\">ZORBEX</a> three.</p>|" "$page"
done < <(find "$work/archive" -ipath '*/pub/*' -iname '*.htm*' -type f -print0)

# --- The window ----------------------------------------------------------------------------------------
export QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox --disable-gpu"
# A home folder of its own, to see that the application, its pane included, writes nothing there.
export HOME=$work/home XDG_RUNTIME_DIR=$work/runtime
unset XDG_CACHE_HOME XDG_DATA_HOME XDG_CONFIG_HOME
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
start() {
  "$app/marovex" >>"$work/marovex.log" 2>&1 &
  pid=$!
  win=$(find_window '^Marovex v2\.0$' 30) || fail "no main window"
  sleep 1
}
start

# Places below are in the units Qt lays the window out in; QT_SCALE_FACTOR (a whole number) multiplies them
# into the screen's pixels, and the window's width in those units places what is anchored to its right.
scale=${QT_SCALE_FACTOR:-1}
width=$(($(xwininfo -id "$win" | awk '/Width:/ {print $NF}') / scale))

# Keyboard focus goes to the main window as a window manager gives it back after a dialog closes.
focus() { xdotool windowfocus --sync "$win"; }
click() {
  xdotool mousemove --window "$win" $(($1 * scale)) $(($2 * scale)) click --repeat "${3:-1}" --delay 120 1
  sleep 0.4
}
key() { xdotool key --delay 80 "$@"; sleep 0.4; }
# The window that holds the keyboard now (a dialog or a message box) gets the key.
wait_for_other_window() {
  local i
  for i in $(seq 50); do
    [ "$(xdotool getactivewindow 2>/dev/null || xdotool getwindowfocus)" != "$win" ] && return 0
    sleep 0.1
  done
  return 1
}

# Where things are in this window, read off its screenshots. The grid's cells start after the row
# indicator (12) and end before the scroll bar (14); its columns share that width as mvx.ini's widths do
# (40, 110, 60, 170 and 480 of 860); the topic panel (229 wide) stands at the cells' top right corner.
cells=$((width - 26))
column() { echo $((12 + $1 * cells / 860)); }
panel_x=$((12 + cells - 229))
search_box=(170 33)
scope_box=(438 33)
tem_title=("$(column 295)" 59)
first_row_y=78
izb_x=$(column 20)
statia_x=$(($(column 380) + 60))
first_topic=($((panel_x + 53)) 105)
filter_button=($((panel_x + 206)) 63)
# A window narrower than both tool bars (at scale 2 on this screen) has the second one's buttons behind
# its extension button », which shows them in rows anchored to the window's right edge; the settings are
# then taken from the menu.
if [ "$width" -ge 800 ]; then
  open_topics() { click 656 33; }
  open_settings() { click 690 33; }
else
  open_topics() {
    click $((width - 9)) 33 # »
    click $((width - 39)) 34 # F in the rows it shows
  }
  open_settings() {
    click 92 9 # Настройка
    key Down Return
  }
fi

step "search by Enter"
focus
click "${search_box[@]}"
xdotool type --delay 60 'Quake'
key Return
wait_for_other_window || fail "Enter in the search box showed no result"
shot 01-search-result
key Return # the result message's Yes
focus

step "search the article texts too"
click "${scope_box[@]}"
key Down Return # the second scope, from the list the click opened
click "${search_box[@]}"
key Return
wait_for_other_window || fail "the full-text search showed no result"
shot 01-text-search-result
key Return
focus

step "settings dialog: OK without changes, twice"
ok_settings() {
  open_settings
  wait_for_other_window || fail "the settings dialog did not open"
  [ -n "${1:-}" ] && shot "$1"
  key Return # OK, the default button
  focus
}
ok_settings 02-settings
first_ok=$(cat "$app/mvx.ini")
for kept in color_link=clRed color_find=clLime color_table=clYellow; do
  grep -q "^$kept"$'\r'"\$" "$app/mvx.ini" || fail "OK lost $kept"
done
ok_settings
[ "$(cat "$app/mvx.ini")" = "$first_ok" ] || fail "a second OK without changes changed mvx.ini"

step "sort by a title click"
click "${tem_title[@]}"
shot 03-sorted

step "a favourite, by a double click on the heart column"
click "$izb_x" "$first_row_y" 2

step "topic filter"
open_topics
click "${first_topic[@]}"
key space
click "${filter_button[@]}"
shot 04-filter

step "open an article into the pane"
click "$statia_x" "$first_row_y" 2
sleep 4
shot 05-article
title=$(xdotool getwindowname "$win")
case "$title" in "Marovex v2.0   [ Kelvra №"*) ;; *) fail "the caption after opening is '$title'" ;; esac

# The clipboard, as the application holds it.
copied() { xclip -o -selection clipboard 2>/dev/null | tr -s ' \n' '  '; }

step "find in the page: Ctrl+F, the word, F3 twice, Esc"
key ctrl+f
xdotool type --delay 60 'zorbex'
sleep 0.5
key F3 F3
shot 06-find-3-of-3
key Escape
# The page has the keyboard again, and the hit the bar stood on stays selected: the third.
key ctrl+c
[ "$(copied)" = ZORBEX ] || fail "after F3 twice and Esc the page copies '$(copied)', not the third hit"

step "zoom: Ctrl+= twice"
key ctrl+equal ctrl+equal
sleep 1
shot 07-zoomed

step "Alt+X"
close_by_alt_x

# --- What it wrote -------------------------------------------------------------------------------------
step "judging the files"
head -n 1 "$app/search.dat" | grep -qx $'Quake\r' || fail "search.dat does not begin with the search"
grep -q $'^text_search=Quake\r$' "$app/mvx.ini" || fail "the search text was not remembered"
found=$(cli dump | grep -c '"Find":-1,') || true
titles=$(cli dump | grep -Eci '"Statia":"([^"\\]|\\.)*quake') || true
[ "$found" -gt "$titles" ] && [ "$titles" -gt 0 ] || fail "$found rows marked found, $titles titles hold the word"
grep -q $'^Button_find=1\r$' "$app/mvx.ini" || fail "the search scope was not kept"
grep -q $'^state_index=Tem\r$' "$app/mvx.ini" || fail "the sort column was not kept"
# The favourite was also the row opened last, current when the window closed: it is stored as 4, the
# remembered position of a favourite.
[ "$(cli dump | grep -Ec '"Izb":(-1|4),')" = 1 ] || fail "not exactly one favourite"
[ "$(cli dump | grep -c '"Izb":4,')" = 1 ] || fail "the favourite is not the remembered row"
grep -q $'^state_filter=1\r$' "$app/mvx.ini" || fail "the topic filter was not kept on"
# Neither the window nor the grid area above the pane was moved: the stored bounds and height stay, also
# where the window had to be fitted onto the screen.
for kept in WindowLeft=40 WindowTop=30 WindowWidth=900 WindowHeight=600 Internal_browser_height=400; do
  grep -q "^$kept"$'\r'"\$" "$app/mvx.ini" || fail "mvx.ini does not keep $kept"
done
[ "$(cli dump --table topics | grep -c '"Key":false')" = 1 ] || fail "not exactly one topic switched off"
# The window kept the texts it read after answering; the companion's search of the same text answers from
# them, and must mark exactly the rows the window marked.
[ -s "$app/texts.dat" ] || fail "the full-text search kept no texts"
marked=$(cli dump)
cli search --scope texts Quake >/dev/null 2>&1 || fail "the companion's search failed"
[ "$(cli dump)" = "$marked" ] || fail "the companion's search from the window's texts marks other rows"
grep -q $'^Internal_browser_zoom=125\r$' "$app/mvx.ini" || fail "the pane's zoom was not kept"

# --- The next day: the pane as a reader ----------------------------------------------------------------
step "restart: the article at the kept zoom"
title=$(cli dump | grep '"Izb":4,' | sed -n 's/.*"Statia":"\([^"\\]*\).*/\1/p')
[ "${#title}" -ge 3 ] || fail "no title for the favourite row"
start
focus
click "$statia_x" "$first_row_y" 2
sleep 4
# The page as it comes back, at 100 %, and stepped to 125 % again: the first and the last look alike.
window_shot() { import -window "$win" "$work/$1.png"; }
window_shot kept
key ctrl+0
sleep 1
window_shot actual
key ctrl+equal ctrl+equal
sleep 1
window_shot stepped
differing() { compare -metric AE "$work/$1.png" "$work/$2.png" null: 2>&1 || true; }
[ "$(differing kept actual)" != 0 ] || fail "Ctrl+0 changed nothing: the page did not come back zoomed"
[ "$(differing kept stepped)" -lt 200 ] || fail "the page came back at another zoom than 125 %"
shot 08-zoom-kept

step "a link followed, then Alt+Left"
# The third hit lies in a link, which holds the keyboard once the find bar closes.
key ctrl+f
xdotool type --delay 60 'zorbex'
sleep 0.5
key shift+F3
key Escape Return
sleep 2
key ctrl+a ctrl+c
[ "$(copied)" = "Kelvrania next page" ] || fail "the link shows '$(copied)'"
shot 09-link
key alt+Left
sleep 2
key ctrl+a ctrl+c
case "$(copied)" in *"Zorbex one, zorbex two, ZORBEX three."*"$title"*) ;; *) fail "Alt+Left shows '$(copied)'" ;; esac
shot 10-back

step "Save as PDF from the page's menu"
key Menu
sleep 0.5
shot 11-menu
key Up Up Up Return # from the end: Open in the browser, Copy address, Save as PDF
wait_for_other_window || fail "Save as PDF showed no file dialog"
shot 12-pdf-dialog
mkdir -p "$work/saved"
key ctrl+a
xdotool type --delay 30 "$work/saved/article.pdf"
key Return
for i in $(seq 100); do [ -s "$work/saved/article.pdf" ] && break; sleep 0.2; done
sleep 1
pdftotext "$work/saved/article.pdf" - | tr -s ' \n' '  ' | grep -qF "$title" ||
  fail "the PDF does not hold the article's title '$title'"
close_by_alt_x

written=$(find "$HOME" -mindepth 1 | head -n 20)
[ -z "$written" ] || fail "files written outside the application folder: $written"
echo "userday: every step passed"
