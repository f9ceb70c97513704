#!/usr/bin/env bash
# The client on a desktop that users have, run for real and headless: the shell with its own
# tray and notification service, on an X server of its own (Xvfb), with a session bus that
# knows only the services the shell needs. All of it in a throw-away overlay of this machine's
# root (fresh /run, /tmp, /var/tmp), over a layer that holds the desktops' packages: they are
# installed into that layer once and kept in /dev/shm, so that this machine never gets them;
# the layer is made again when the package list or this machine's packages change. The
# client and the companion are the build's, pointed at a stand-in of the provider on loopback.
# Needs root; skipped (77) without.
#   tests/desktop-box.sh BUILD-DIR SHELL
#     SHELL: xfce (its tray over StatusNotifierItem), xfce-xembed (over XEmbed), gnome (under
#            Wayland, without a tray), gnome-appindicator (under Wayland, with the AppIndicator
#            extension's tray), gnome-x11-appindicator (under X11, with that tray), kde
#            (Plasma on X11, with KWallet)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

# x11-apps: xwd, which takes the screenshots.
# gjs: GNOME Shell's notification service runs in it.
# libkf5wallet-bin: kwalletd5 and kwallet-query.
packages=(x11-apps xfce4-panel xfwm4 xfce4-settings xfconf xfce4-notifyd gnome-shell gjs qt6-wayland
  gnome-shell-extension-appindicator plasma-workspace kwin-x11 libkf5wallet-bin plasma-framework
  qml-module-org-kde-kirigami2 kde-style-breeze breeze-icon-theme plasma-desktop kio)

# In the box, with the ends of its programs' logs.
fail() {
  echo "desktop box: $*" >&2
  if [ -n "${shell:-}" ]; then
    for log in "$HOME"/*.log "$HOME"/*.txt; do
      [ -e "$log" ] || continue
      echo "== ${log##*/}" >&2
      tail -n 15 "$log" >&2
    done
  fi
  exit 1
}

# The layer with the packages, made once for the list and this machine's own packages, in
# $layer; held (a shared lock on it) while the box runs, so that no other run removes it.
desktop_layer() {
  local key old
  exec 9>/dev/shm/vorlin-desktops.lock
  flock 9
  key=$({
    printf '%s\n' "${packages[@]}"
    dpkg-query -W -f '${db:Status-Abbrev} ${Package} ${Version}\n' | grep '^ii'
  } | sha256sum | cut -c1-16)
  layer=/dev/shm/vorlin-desktops-$key
  if [ ! -d "$layer" ]; then
    for old in /dev/shm/vorlin-desktops-*/; do
      [ -d "$old" ] || continue
      exec 8<"${old%/}"
      if flock -n -x 8; then rm -rf "${old%/}"; fi
      exec 8<&-
    done
    mkdir "$layer.new" "$layer.work" "$layer.root"
    # Not on this machine's root file system, which an overlay of it may not hold as a layer.
    # The package lists and the packages themselves stay in the build's /tmp.
    unshare --mount --propagation private bash -euc '
      layer=$1 packages=${*:2}
      mount -t overlay overlay -o "lowerdir=/,upperdir=$layer.new,workdir=$layer.work" \
        "$layer.root"
      mount -t proc proc "$layer.root/proc"
      mount --rbind /dev "$layer.root/dev"
      for folder in run tmp var/tmp; do mount -t tmpfs tmpfs "$layer.root/$folder"; done
      mkdir -p "$layer.root/tmp/lists/partial" "$layer.root/tmp/archives/partial"
      apt="apt-get -o Dir::State::Lists=/tmp/lists -o Dir::Cache::Archives=/tmp/archives"
      chroot "$layer.root" $apt update -qq
      chroot "$layer.root" env DEBIAN_FRONTEND=noninteractive \
        $apt install -y -qq --no-install-recommends $packages' \
      sh "$layer" "${packages[@]}" >"$layer.log" 2>&1 ||
      {
        tail -20 "$layer.log" >&2
        rm -rf "$layer".*
        fail "the desktops' packages did not install"
      }
    rm -rf "$layer.work" "$layer.root" "$layer.log"
    mv "$layer.new" "$layer"
  fi
  exec 8<"$layer"
  flock -s 8
  flock -u 9
}

# A root of the session's own, over the layer; the session runs in it as PID 1 of its own
# namespaces (mount, PID, network), so that nothing it starts outlives it.
enter_box() {
  local base box status=0
  base=$(mktemp -d)
  # A harness that is stopped (a time-out) takes the box along: killed with unshare.
  unshare --mount --pid --net --fork --kill-child --propagation private bash -euc '
    layer=$1 base=$2
    shift 2
    mount -t tmpfs tmpfs "$base"
    mkdir "$base/upper" "$base/work" "$base/root"
    root=$base/root
    mount -t overlay overlay -o "lowerdir=$layer:/,upperdir=$base/upper,workdir=$base/work" "$root"
    mount -t proc proc "$root/proc"
    mount --rbind /sys "$root/sys"
    mount --rbind /dev "$root/dev"
    for folder in run tmp var/tmp; do mount -t tmpfs tmpfs "$root/$folder"; done
    ip link set lo up
    exec chroot "$root" env -i PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin "$@"' \
    sh "$layer" "$base" "$@" &
  box=$!
  trap 'kill -KILL "$box"' TERM INT # unshare itself ignores TERM and INT
  wait "$box" || status=$?
  trap - TERM INT
  rmdir "$base"
  return "$status"
}

# Waits up to thirty seconds (or tries tenths of a second) for a command to succeed.
eventually() {
  for _ in $(seq "${tries:-300}"); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  fail "never came: $*"
}
# What a command prints once it succeeds, waited for as above.
eventual_answer() { eventually keep_answer "$@" && printf '%s\n' "$answer"; }
keep_answer() { answer=$("$@"); }

# The top-level windows in view, a line each. xdotool dies of an X error when a window it
# looks at closes meanwhile, as tooltips and menus do: it is asked again.
windows() { eventual_answer xdotool search --onlyvisible --maxdepth 1 --name '' | sort; }

# The one window that came into view since the list (a tooltip, a menu), as "id x y w h";
# windows out of sight and tiny ones do not count.
new_window() {
  local found
  found=$(comm -13 "$1" <(windows) | while read -r id; do
    geometry=$(xdotool getwindowgeometry --shell "$id") || continue # closed meanwhile
    eval "$geometry"
    [ "$X" -ge 0 ] && [ "$Y" -ge 0 ] && [ "$WIDTH" -gt 20 ] && echo "$id $X $Y $WIDTH $HEIGHT"
  done)
  [ -n "$found" ] && [ "$(wc -l <<<"$found")" -eq 1 ] && echo "$found"
}

# Runs the xdotool command given and waits for the one window it brings into view, in $appeared.
window_after() {
  windows >"$HOME/before"
  xdotool "$@"
  appeared=$(eventual_answer new_window "$HOME/before")
}

# Whether the process has ended (a child that has not been waited for yet included).
ended() { [ ! -e "/proc/$1" ] || grep -q '^[0-9]* (.*) Z' "/proc/$1/stat"; }

# A screenshot: of the X screen, or under Wayland of GNOME's top bar, which the shell takes.
shot() {
  if [ -z "${WAYLAND_DISPLAY:-}" ]; then
    # xwd asks after every window, and fails when one closes meanwhile: take it again. No
    # eventually here: most callers wait already, and would swallow its message.
    for _ in 1 2 3 4 5; do xwd -root -silent >"$1" 2>/dev/null && return 0; done
    return 1
  else
    rm -f "$1"
    probe Shot "$1" >/dev/null && eventually test -e "$1"
  fi
}
screen() { /usr/bin/python3 "$here/desktops/screen.py" "$@"; }
# The icon's box by its colours, which only the working and failing looks have.
find_icon() { shot "$HOME/now.shot" && screen find "$HOME/now.shot" $tray_area | grep .; }
# The program's tray icon window over XEmbed: one of its windows, as small as an icon.
tray_window() {
  xdotool search --pid "$client" | while read -r id; do
    geometry=$(xdotool getwindowgeometry --shell "$id") || continue
    eval "$geometry"
    [ "$WIDTH" -le 64 ] && [ "$WIDTH" -gt 1 ] && echo "$id"
  done | grep -q .
}
# Whether the tray looks the same in two screenshots a moment apart (the newest in now.shot).
tray_settled() {
  shot "$HOME/then.shot" && sleep 0.3 && shot "$HOME/now.shot" &&
    ! screen changed "$HOME/then.shot" "$HOME/now.shot" $tray_area | grep -q .
}
# Whether the icon's box shows a colour ("red", say) in a screenshot taken now.
icon_has() { shot "$HOME/now.shot" && [[ $(screen colours "$HOME/now.shot" $icon) != *"$1=0"* ]]; }
# Whether the icon's box shows the look not set up in not-set-up.shot: drawn over the empty tray
# of empty.shot, in none of the other looks' colours.
shows_not_set_up() {
  [ "$(screen colours "$HOME/not-set-up.shot" $icon)" = "blue=0 green=0 red=0" ] &&
    screen changed "$HOME/empty.shot" "$HOME/not-set-up.shot" $icon | grep -q .
}

# The session bus of the box, which starts only the services named (as the shell needs
# them), and adds its own policy.
session_bus() {
  mkdir "$HOME/services"
  for service in "$@"; do cp "/usr/share/dbus-1/services/$service.service" "$HOME/services/"; done
  sed -e "s|<policy context=\"default\">|<servicedir>$HOME/services</servicedir>&|" \
    -e "s|</policy>|${policy:-}&|" "$here/private-bus.conf" >"$HOME/bus.conf"
}

# The stand-in provider, on the box's loopback; and where the client finds it.
start_standin() {
  "$build/tools/standin/vorlin-standin" --account demo2026:Demo-pass1:home \
    --ports 47441,47442,47443 --ca-file "$HOME/ca.pem" >"$HOME/standin.out" 2>&1 &
  standin=$!
  eventually grep -q '^ca=' "$HOME/standin.out"
  export STANDIN_HOSTS="localhost:47441 localhost:47442 localhost:47443" STANDIN_CA=$HOME/ca.pem
}

# The program, as the desktop starts it (its platform its own choice), its process in $client.
start_client() {
  "$build/tests/on-standin/vorlin-ipupdate" >"$HOME/client.log" 2>&1 &
  client=$!
}

# Whether the tray's watcher of items answers on the session bus.
watcher_answers() {
  dbus-send --session --print-reply --dest=org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
    org.freedesktop.DBus.Peer.Ping
}

# A Save through the companion, which wakes the running client for an update.
save_account() {
  echo Demo-pass1 | "$build/tests/on-standin/vorlin-ipupdated" set-account --username demo2026 \
    --group home >/dev/null 2>&1
}

# Inside the box.
session() {
  export shell=$1 build=$2 here
  export HOME=/tmp/home XDG_RUNTIME_DIR=/tmp/home/run XDG_CONFIG_HOME=/tmp/home/config
  mkdir -p -m 700 "$HOME" "$XDG_RUNTIME_DIR"
  export -f fail eventually eventual_answer keep_answer windows new_window ended shot screen find_icon tray_window tray_settled \
    window_after icon_has shows_not_set_up start_client watcher_answers start_standin save_account \
    item item_call item_property save_by_keyboard tray_checks
  case $shell in
  xfce | xfce-xembed) xfce_session ;;
  gnome | gnome-appindicator | gnome-x11-appindicator) gnome_session ;;
  kde) kde_session ;;
  *) fail "no such shell: $shell" ;;
  esac
}

start_xvfb() {
  Xvfb "$DISPLAY" -noreset -screen 0 1280x800x24 -nolisten tcp >"$HOME/xvfb.log" 2>&1 &
  eventually xdotool getdisplaygeometry
}

xfce_session() {
  export XDG_CURRENT_DESKTOP=XFCE DISPLAY=:7
  start_xvfb
  # Over XEmbed nobody may be the D-Bus tray's watcher, which XFCE's tray would otherwise be.
  [ "$shell" = xfce-xembed ] && policy='<deny own="org.kde.StatusNotifierWatcher"/>'
  session_bus org.xfce.Xfconf org.xfce.xfce4-notifyd.Notifications
  # The default panel, without its first start's question.
  mkdir -p "$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml"
  cp /etc/xdg/xfce4/panel/default.xml \
    "$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml/xfce4-panel.xml"
  export tray_area="640 0 640 40" # the top panel's right half
  export -f xfce_checks
  dbus-run-session --config-file="$HOME/bus.conf" -- bash -euc xfce_checks
}

# GNOME under Wayland, Debian's default desktop: no tray. An ordinary user's session, as GNOME
# Shell marks a root session's screen as privileged. Its system bus lets every user in: the
# shell dies at start without one to ask for UPower.
gnome_session() {
  useradd --no-create-home --home-dir "$HOME" vorlin-tester
  setpriv --reuid=vorlin-tester --regid=vorlin-tester --clear-groups \
    test -x "$build/tests/on-standin/vorlin-ipupdate" -a -r "$here/desktops/screen.py" ||
    fail "the build and the sources must be within an ordinary user's reach"
  mkdir -p /run/dbus "$HOME/.local/share/gnome-shell/extensions"
  sed -e 's|<type>session</type>|<type>system</type>|' \
    -e 's|<listen>.*</listen>|<listen>unix:path=/run/dbus/system_bus_socket</listen>|' \
    -e 's|<policy context="default">|&<allow user="*"/>|' "$here/private-bus.conf" \
    >"$HOME/system-bus.conf"
  dbus-daemon --config-file="$HOME/system-bus.conf" --fork --nopidfile
  session_bus ca.desrt.dconf org.gnome.Shell.Notifications org.a11y.Bus
  cp -r "$here/desktops/shell-probe@vorlin.com" "$HOME/.local/share/gnome-shell/extensions/"
  chown -R vorlin-tester: "$HOME"
  export -f start_gnome_shell gnome_checks appindicator_checks appindicator_x11_checks probe \
    probe_lines shows_window indicator
  local checks=gnome_checks
  [ "$shell" = gnome-appindicator ] && checks=appindicator_checks
  if [ "$shell" = gnome-x11-appindicator ]; then
    export DISPLAY=:7 tray_area="700 0 580 32" # the top bar's right part, without the clock
    start_xvfb
    checks=appindicator_x11_checks
  fi
  setpriv --reuid=vorlin-tester --regid=vorlin-tester --clear-groups \
    dbus-run-session --config-file="$HOME/bus.conf" -- bash -euc "$checks"
}

# With the test's extension and those named.
start_gnome_shell() {
  local extensions="'shell-probe@vorlin.com'"
  for extension in "$@"; do extensions+=", '$extension'"; done
  gsettings set org.gnome.shell enabled-extensions "[$extensions]"
  # The shell's launches find the build's program and the stand-in.
  export PATH=$build/tests/on-standin:$PATH
  start_standin
  if [ -n "${DISPLAY:-}" ]; then
    gnome-shell --x11 --replace >"$HOME/shell.log" 2>&1 &
    export XDG_SESSION_TYPE=x11 window_class=vorlin-ipupdate
  else
    gnome-shell --headless --wayland --no-x11 --virtual-monitor 1280x800 >"$HOME/shell.log" 2>&1 &
    export WAYLAND_DISPLAY=wayland-0 XDG_SESSION_TYPE=wayland window_class=com.vorlin.IPUpdateClient
  fi
  eventually probe Windows
}

# Whether the shell shows the program's window (with the focus, given "true"): its title, its
# application id (the desktop entry's name on Wayland, its StartupWMClass on X11), and its width,
# which its menus do not have.
shows_window() {
  probe_lines Windows |
    awk -F '\t' -v focused="${1:-}" -v class="$window_class" '$1 == "Vorlin IP Update Client" &&
      $2 == class && $5 >= 400 && (focused == "" || $4 == focused) { found = 1 }
      END { exit !found }'
}

# Where the program's tray item is, as registered with the watcher ("name/path" or, as GNOME's
# extension keeps it, "name@/path"), as "name /path"; a method of the item called, and one of
# its properties read, as the shell does.
item() {
  gdbus call --session --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher \
    --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher \
    RegisteredStatusNotifierItems | grep -o "[^'\"]*/StatusNotifierItem" | head -1 |
    sed 's|@*/| /|'
}
item_call() {
  local name path
  read -r name path <<<"$(item)"
  gdbus call --session --dest "$name" --object-path "$path" --method "$@"
}
item_property() { item_call org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierItem "$1"; }

# GNOME under Wayland with its AppIndicator extension's tray: the item registers with the
# extension and shows in the top bar, working and then failing; its tooltip holds the addresses,
# and its Activate (the extension's double click) opens the window, as a menu could not open at
# the icon.
appindicator_checks() {
  start_gnome_shell ubuntu-appindicators@ubuntu.com
  save_account
  local client
  start_client
  eventually bash -c 'item_property ToolTip | grep -q 203.0.113.7'
  eventually indicator
  probe Windows >/dev/null && ! shows_window ||
    fail "the window opened at a start with a tray and saved settings"
  local icon
  icon=$(indicator)
  export icon
  eventually icon_has blue
  icon_has red && fail "the working icon: $(screen colours "$HOME/now.shot" $icon)"
  item_call org.kde.StatusNotifierItem.Activate 0 0 >/dev/null
  eventually shows_window
  kill "$standin"
  kill -USR1 "$client" # an update now, which finds no provider
  eventually icon_has red
  kill -0 "$client" || fail "the program ended"
  echo "desktop box: $shell: the item in the top bar, working and failing, its tooltip, and" \
    "Activate opening the window"
}

# Where the program's indicator is in the top bar, as "x y w h".
indicator() {
  probe_lines Indicators |
    awk -F '\t' '$1 ~ /appindicator/ { print $2, $3, $4, $5; found = 1 } END { exit !found }'
}

# GNOME under X11 with the AppIndicator extension, with real clicks: the icon in the top bar in
# its three looks; a click opens the menu that the shell draws, whose Quit ends the program at
# once, also while a Save waits for a provider that does not answer.
appindicator_x11_checks() {
  start_gnome_shell ubuntu-appindicators@ubuntu.com
  # The session starts in the overview, which a key leaves.
  eventually bash -c 'probe Overview | grep -q true'
  eventually bash -c 'xdotool key Escape && sleep 0.5 && probe Overview | grep -q false'
  eventually tray_settled
  mv "$HOME/now.shot" "$HOME/empty.shot"
  local client icon
  start_client
  eventually shows_window
  eventually indicator
  eventually tray_settled
  icon=$(indicator)
  export icon
  mv "$HOME/now.shot" "$HOME/not-set-up.shot"
  shows_not_set_up || fail "the icon not set up: $(screen colours "$HOME/not-set-up.shot" $icon)"
  save_account
  eventually icon_has blue
  icon_has red && fail "the working icon: $(screen colours "$HOME/now.shot" $icon)"
  kill "$standin"
  kill -USR1 "$client" # an update now, which finds no provider
  eventually icon_has red

  # A Save that waits: the provider's host takes the connection and never answers.
  /usr/bin/python3 -c 'import socket, time
server = socket.create_server(("127.0.0.1", 47441))
print("listening", flush=True)
connection = server.accept()
print("taken", flush=True)
time.sleep(600)' >"$HOME/silent.out" &
  eventually grep -q listening "$HOME/silent.out"
  # A click on the window's first label gives it the focus, which its user name's field holds.
  local window x y w h
  window=$(eventual_answer xdotool search --onlyvisible --name '^Vorlin IP Update Client$')
  xdotool mousemove --window "$window" 40 21 click 1
  save_by_keyboard
  eventually grep -q taken "$HOME/silent.out"
  read -r x y w h <<<"$icon"
  xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
  eventually bash -c 'probe Menu | grep -q Quit && [ "$(probe Menu)" = "$(sleep 0.3 && probe Menu)" ]'
  read -r x y w h <<<"$(probe_lines Menu | awk -F '\t' '$1 == "Quit" { print $2, $3, $4, $5 }')"
  xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
  tries=50 eventually ended "$client"
  wait "$client" || fail "Quit ended the program with status $?"
  echo "desktop box: $shell: the icon's looks in the top bar, the shell's menu and its Quit," \
    "also during a Save"
}

# What the test's extension tells of the shell; and its answer's lines, of fields apart by tabs.
probe() {
  gdbus call --session --dest com.vorlin.ShellProbe --object-path /com/vorlin/ShellProbe \
    --method "com.vorlin.ShellProbe.$1" "${@:2}"
}
probe_lines() {
  probe "$1" | sed -e "s/^('//" -e "s/',)$//" -e 's/\\n/\n/g' -e 's/\\t/\t/g'
}

gnome_checks() {
  start_gnome_shell
  local client

  # A first start opens the window, Qt's own on Wayland (the entry's name as its application
  # id); closing it leaves the program updating, which a notification says.
  gsettings set org.gnome.desktop.interface toolkit-accessibility true # as a screen reader does
  start_client
  eventually shows_window
  # A screen reader finds every control named by its label, over AT-SPI.
  local controls
  eventually bash -c '/usr/bin/python3 "$here/desktops/accessible.py" vorlin-ipupdate | grep -q Close'
  controls=$(/usr/bin/python3 "$here/desktops/accessible.py" vorlin-ipupdate)
  [ "$controls" = "$(printf '%s\t%s\n' text 'User name:' 'password text' Password: \
    'check box' 'Keep the password in the keyring' text Group: \
    'check box' 'Keep the IPv4 address updated' 'check box' 'Keep the IPv6 address updated' \
    text Activity: 'push button' Menu 'push button' Save 'push button' Close)" ] ||
    fail "the controls as a screen reader finds them: $controls"
  probe Close 'Vorlin IP Update Client' >/dev/null
  eventually bash -c 'probe Windows >/dev/null && ! shows_window'
  eventually bash -c 'probe Notifications | grep -q "Vorlin IP Update Client keeps updating"'
  save_account
  eventually grep -q 'IP address updated' "$HOME/client.log"

  # A launch from the dash brings the running copy's window to the front, rather than a notice
  # that it "is ready".
  probe Launch "$here/../packaging/linux/com.vorlin.IPUpdateClient.desktop" >/dev/null
  eventually shows_window true
  kill -0 "$client" || fail "the program ended"
  echo "desktop box: $shell: the window at first start, its controls named for a screen reader," \
    "closed while updates go on, told, and brought forward by a launch from the dash"
}

# KDE Plasma on X11, with KDE's wallet (KWallet). The services that its buses start inherit
# the display.
kde_session() {
  export XDG_CURRENT_DESKTOP=KDE KDE_SESSION_VERSION=5 KDE_FULL_SESSION=true DISPLAY=:7
  start_xvfb
  session_bus org.kde.kded5 org.kde.kwalletd5 org.kde.kglobalaccel org.kde.ActivityManager \
    org.kde.plasma.Notifications org.kde.kiod5
  export tray_area="640 756 640 44" # the bottom panel's right half
  export -f kde_checks make_wallet wallet wallet_windows
  dbus-run-session --config-file="$HOME/bus.conf" -- bash -euc kde_checks
}

# kwalletd5's windows in view, given how many there must be.
wallet_windows() {
  local found
  found=$(xdotool search --onlyvisible --class kwalletd5) && [ "$(wc -l <<<"$found")" -eq "$1" ] &&
    echo "$found"
}

# One of kwalletd5's methods.
wallet() {
  gdbus call --session --timeout 60 --dest org.kde.kwalletd5 --object-path /modules/kwalletd5 \
    --method "org.kde.KWallet.$1" "${@:2}"
}

# KDE's wallet, made as a user makes it at the first request: through kwalletd5's wizard, the
# classic file, an empty password (and yes, weak as it is).
make_wallet() {
  local wizard
  wallet open kdewallet 0 wallet-setup >"$HOME/wallet-open.txt" &
  wizard=$(tries=600 eventual_answer wallet_windows 1)
  sleep 1 # laid out
  xdotool mousemove --window "$wizard" 100 166 click 1 sleep 0.5 mousemove --window "$wizard" 357 332 click 1
  # Its password's dialog, then the question whether a weak one will do.
  eventually bash -c "wallet_windows 1 | grep -vqx $wizard"
  sleep 1 # its field takes the focus
  xdotool key Return
  eventually wallet_windows 2
  sleep 1
  xdotool key Return
  eventually grep -q '^([0-9]*,)' "$HOME/wallet-open.txt"
  wallet close kdewallet true >/dev/null
}

# A Save in the window by the keyboard alone; given "keyring", with the keyring's box ticked.
save_by_keyboard() {
  xdotool type --delay 20 demo2026
  xdotool key Tab
  xdotool type --delay 20 Demo-pass1
  xdotool key Tab
  [ "${1:-}" != keyring ] || xdotool key space Tab
  xdotool type --delay 20 home
  xdotool key Return
}

kde_checks() {
  kbuildsycoca5 >"$HOME/sycoca.log" 2>&1
  # Without compositing, a screenshot of the root window is what is on the screen.
  KWIN_COMPOSE=N kwin_x11 --replace >"$HOME/kwin.log" 2>&1 &
  plasmashell --no-respawn >"$HOME/plasma.log" 2>&1 &
  eventually watcher_answers
  make_wallet
  start_standin
  local client icon settings=$XDG_CONFIG_HOME/Vorlin/IPUpdateClient.conf

  # The password into the wallet, which opens without a question: a first start, the keyring
  # box ticked, Save; KWallet holds the password, the settings file does not.
  start_client
  eventually bash -c 'wallet users kdewallet | grep -q "Vorlin IP Update Client"'
  sleep 2 # the wallet's answer reaches the window, whose keyring box can then be ticked
  save_by_keyboard keyring
  eventually grep -q '\[good\]' "$HOME/client.log"
  grep -qx 'password=' "$settings" || fail "the settings file holds a password"
  local entry
  entry=$(kwallet-query -l -f 'Vorlin IP Update Client' kdewallet 2>/dev/null)
  [ "$(kwallet-query -r "$entry" -f 'Vorlin IP Update Client' kdewallet 2>/dev/null)" = Demo-pass1 ] ||
    fail "KWallet holds no password of the program's"
  kill "$client"
  wait "$client" || true

  # A new start updates with the password from the wallet; its icon in Plasma's tray, with its
  # menus.
  start_client
  eventually grep -q '\[good\]' "$HOME/client.log"
  icon=$(eventual_answer find_icon)
  tray_checks

  # A wallet that stays closed, as KWallet switched off keeps it (kwalletd5 then ends at once, and
  # the keyring library turns to the Secret Service, which this session lacks): the cycles fail,
  # told once.
  kill "$(pgrep -x kwalletd5)"
  eventually bash -c '! pgrep -x kwalletd5' # which writes its settings as it ends
  printf '[Wallet]\nEnabled=false\n' >>"$XDG_CONFIG_HOME/kwalletrc"
  start_client
  eventually bash -c 'item_property ToolTip | grep -q "the keyring did not give the password"'
  kill -USR1 "$client" # a cycle more, which the log does not mark: given two seconds
  sleep 2
  [ "$(grep -c 'The password could not be taken from the keyring' "$HOME/client.log")" = 1 ] ||
    fail "a closed wallet was not told once"
  grep -q '\[good\]' "$HOME/client.log" && fail "updated without the wallet's password"
  echo "desktop box: $shell: the password in KWallet and taken from it, a closed wallet told" \
    "once, the icon in Plasma's tray, its tooltip, both menus and Quit"
}

# The tray icon at $icon: its tooltip shows where the pointer rests, the tray's from the
# item's ToolTip, or the program's own over XEmbed, of the accepted update's lines. A left
# click opens the program's menu at the icon; a right click the tray's menu (the program's own
# over XEmbed), whose last entry, Quit, ends the program.
tray_checks() {
  local x y w h window owner mx my height
  read -r x y w h <<<"$icon"
  # Whether a window's corner at "x y" is at the icon: beside it, over or under it.
  near_icon() {
    [ "$1" -ge $((x - 400)) ] && [ "$1" -le $((x + w + 100)) ] &&
      [ "$2" -ge $((y - 400)) ] && [ "$2" -le $((y + h + 100)) ]
  }
  window_after mousemove $((x + w / 2)) $((y + h / 2))
  read -r window mx my _ height <<<"$appeared"
  owner=$(xdotool getwindowpid "$window" || true)
  near_icon "$mx" "$my" || fail "the tooltip came away from the icon, at $mx,$my"
  if [ "$shell" != xfce-xembed ]; then
    [ "$owner" != "$client" ] && item_property ToolTip | grep -q 203.0.113.7 ||
      fail "no tooltip of the addresses from the item"
  else
    [ "$owner" = "$client" ] && [ "$height" -gt 40 ] || fail "no tooltip of the program's lines"
  fi
  window_after click 1
  read -r window mx my _ _ <<<"$appeared"
  [ "$(xdotool getwindowpid "$window")" = "$client" ] || fail "a left click opened no menu of the program's"
  near_icon "$mx" "$my" || fail "the program's menu opened away from the icon, at $mx,$my"
  xdotool key Escape
  eventually sh -c "! xwininfo -id $window | grep -q IsViewable"
  window_after click 3
  read -r window x y w h <<<"$appeared"
  owner=$(xdotool getwindowpid "$window" || true)
  [ "$shell" = xfce-xembed ] && [ "$owner" != "$client" ] && fail "a right click opened no menu of the program's"
  [ "$shell" != xfce-xembed ] && { [ -z "$owner" ] || [ "$owner" = "$client" ]; } &&
    fail "a right click opened the program's own menu, not the tray's"
  xdotool mousemove $((x + w / 2)) $((y + h - 10)) click 1
  eventually ended "$client"
  wait "$client" || fail "Quit ended the program with status $?"
}

xfce_checks() {
  xfwm4 --compositor=off >"$HOME/xfwm4.log" 2>&1 &
  xfce4-panel >"$HOME/panel.log" 2>&1 &
  eventually xdotool search --onlyvisible --class xfce4-panel
  [ "$shell" = xfce-xembed ] ||
    eventually watcher_answers
  sleep 1 # the panel draws its plugins
  shot "$HOME/empty.shot" || fail "no screenshot of the empty panel"

  local standin client icon
  start_standin
  start_client

  # The icon in the tray, in each of its looks: not set up (a first start, whose window opens
  # on the left), working once the companion has saved the account, failing once the provider
  # is gone.
  if [ "$shell" = xfce ]; then eventually item; else eventually tray_window; fi
  eventually tray_settled
  mv "$HOME/now.shot" "$HOME/not-set-up.shot"
  save_account
  icon=$(eventual_answer find_icon)
  export icon
  shows_not_set_up || fail "the icon not set up: $(screen colours "$HOME/not-set-up.shot" $icon)"
  icon_has blue && ! icon_has red || fail "the working icon: $(screen colours "$HOME/now.shot" $icon)"
  kill "$standin"
  kill -USR1 "$client" # an update now, which finds no provider
  eventually icon_has red

  tray_checks
  echo "desktop box: $shell: the icon's looks, its tooltip, both menus and Quit"
}

if [ "${1:-}" = --session ]; then
  session "$2" "$3"
  exit
fi
[ "$(id -u)" -eq 0 ] || { echo "desktop box: needs root" >&2; exit 77; }
build=$(realpath "$1")
desktop_layer
enter_box bash "$here/desktop-box.sh" --session "$2" "$build"
