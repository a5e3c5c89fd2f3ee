# Sourced by the scripts that drive the update program with xdotool on a 2160x1080 screen:
# the button centres of its pages and small helpers. The caller sets `out` (the screenshot
# folder) and `who` (the name its messages start with).

# The prompt's bottom row, the Wi-Fi page's "Back" and the progress page's "Reboot".
WIFI_BTN="580 900"
INSTALL_BTN="1600 900"
BACK_BTN="250 900"
REBOOT_BTN="250 770"

tap() { xdotool mousemove $1 click 1; }

shot() {
  sleep 0.5  # let the toolkit paint the last change
  import -window root "$out/$1"
  echo "$who: $out/$1"
}

# wait_for FILE TEXT SECONDS
wait_for() {
  for _ in $(seq $(($3 * 10))); do
    grep -q "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "$who: gave up waiting for '$2' in $1" >&2
  return 1
}
