#!/usr/bin/env bash
# reveal.sh nautilus|thunar DRIVER: starts the file manager without a window on a virtual display
# with its own session bus, hands it the application's reveal of four outputs in two folders, and
# checks through the accessibility tree that it is still running and shows one window per folder,
# selecting that folder's first output. Exits 77 (skipped) when a tool it needs is missing.
set -euo pipefail
manager=$1 driver=$2
python=/usr/bin/python3

for tool in Xvfb dbus-launch gdbus openbox ffmpeg "$manager"; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is missing"; exit 77; }
done
"$python" -c "import gi; gi.require_version('Atspi', '2.0')" 2>/dev/null ||
  { echo "skipped: python3-gi or gir1.2-atspi-2.0 is missing"; exit 77; }

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}" ${DBUS_SESSION_BUS_PID:-}; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' TERM INT # a timeout still cleans up

export HOME=$work/home XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/home/.config
export XDG_CACHE_HOME=$work/home/.cache XDG_DATA_HOME=$work/home/.local/share XDG_CURRENT_DESKTOP=GNOME
# Software drawing without GL: GTK 4 otherwise renders through llvmpipe on a virtual display.
export GSK_RENDERER=cairo
unset NO_AT_BRIDGE GTK_A11Y
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$work/alpha" "$work/beta"
chmod 700 "$XDG_RUNTIME_DIR"

# Outputs in the order a batch reports them: the first of each folder is the one shown.
outputs=("$work/alpha/second-converted.jpg" "$work/beta/fourth-converted.jpg"
         "$work/alpha/first-converted.jpg" "$work/alpha/third-converted.jpg")
for output in "${outputs[@]}" "$work/alpha/source.png"; do
  ffmpeg -v error -f lavfi -i testsrc=size=64x48 -frames:v 1 "$output"
done
expected=$'alpha: second-converted.jpg\nbeta: fourth-converted.jpg'

Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$work/display")
eval "$(dbus-launch --sh-syntax)"
openbox >/dev/null 2>&1 &
pids+=($!)

case $manager in
  nautilus) nautilus --gapplication-service >"$work/manager.log" 2>&1 & ;;
  thunar) thunar --daemon >"$work/manager.log" 2>&1 & ;;
esac
manager_pid=$!
pids+=("$manager_pid")
owned() {
  gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
    --method org.freedesktop.DBus.NameHasOwner org.freedesktop.FileManager1 | grep -q true
}
for _ in $(seq 100); do owned && break; sleep 0.2; done
owned || { echo "$manager did not take org.freedesktop.FileManager1"; cat "$work/manager.log"; exit 1; }

QT_QPA_PLATFORM=offscreen QUILLMORPH_LOG=stderr "$driver" "${outputs[@]}"

# One line per window: its folder and the names it selects (GNOME Files marks selected cells,
# Thunar names a single selected file in its status bar).
windows() {
  timeout 20 "$python" - <<'PYTHON'
import re, gi
gi.require_version('Atspi', '2.0')
from gi.repository import Atspi

def selected(node, names):
    try:
        role = node.get_role_name()
        if role == 'table cell' and node.get_state_set().contains(Atspi.StateType.SELECTED):
            names += [node.get_child_at_index(i).get_name() for i in range(node.get_child_count())]
        elif role == 'status bar':
            names += re.findall(r'^"(.+)"  \|', node.get_name())
        for i in range(node.get_child_count()):
            selected(node.get_child_at_index(i), names)
    except gi.repository.GLib.GError:
        pass  # a part of the window that went away while it was read
    return names

desktop = Atspi.get_desktop(0)
lines = []
for a in range(desktop.get_child_count()):
    application = desktop.get_child_at_index(a)
    for w in range(application.get_child_count()):
        window = application.get_child_at_index(w)
        lines.append(window.get_name().split(' - ')[0] + ': ' + ' '.join(sorted(selected(window, []))))
print('\n'.join(sorted(lines)))
PYTHON
}
seen=""
matches() {
  seen=$(windows 2>/dev/null || true)
  [ "$seen" = "$expected" ]
}
# Matched twice, two seconds apart: a window that comes late would still be one too many.
deadline=$((SECONDS + 60))
until matches && sleep 2 && matches; do
  ((SECONDS < deadline)) || break
  sleep 1
done
status=0
if [ "$seen" != "$expected" ]; then
  printf 'windows and selections:\n%s\nexpected:\n%s\n' "$seen" "$expected"
  status=1
fi
if ! kill -0 "$manager_pid" 2>/dev/null; then
  echo "$manager is no longer running"
  status=1
fi
# GNOME Files 43's complaint about a selection it could not take.
if grep -q NAUTILUS_IS_FILE "$work/manager.log"; then
  grep NAUTILUS_IS_FILE "$work/manager.log"
  status=1
fi
[ $status -eq 0 ] && echo "$manager shows: ${seen//$'\n'/; }"
exit $status
