#!/usr/bin/env bash
# The companion's package as a box runs it: under a real systemd, booted as PID 1 of
# namespaces of its own (PID, mount, network, UTS, IPC, cgroup) over a throw-away overlay of
# this machine's root, with fresh /run, /tmp, /var/tmp and /dev/shm. The package is the
# build's own, its provider hosts unchanged: inside the box, the hosts file sends them to the
# stand-in on loopback addresses of their own, and the box's certificate store trusts its
# authority.
# Needs root; skipped (77) without.
#   tests/systemd-box.sh BUILD-DIR STANDIN-PROGRAM API-HOST IPV4-HOST IPV6-HOST
set -euo pipefail
[ "$(id -u)" -eq 0 ] || { echo "systemd box: needs root" >&2; exit 77; }
build=$(realpath "$1")
standin=$(realpath "$2")
shift 2
unit=vorlin-ipupdated.service
settings=/var/lib/vorlin-ipupdated

# The package is made while the box boots.
packages=$build/box-packages
rm -rf "$packages"
cpack --config "$build/CPackConfig.cmake" -B "$packages" -D CPACK_COMPONENTS_ALL=companion \
  >"$build/box-cpack.log" 2>&1 &
cpack_pid=$!
# Where the box finds it.
boxed_standin=/opt/vorlin-box/$(basename "$standin")

# Each provider host ("name" or "name:port") on a loopback address of its own name.
names=() addresses=() ports=()
for host in "$@"; do
  name=${host%%:*}
  port=443
  [ "$name" = "$host" ] || port=${host##*:}
  number=0
  while [ "$number" -lt "${#names[@]}" ] && [ "${names[$number]}" != "$name" ]; do
    number=$((number + 1))
  done
  [ "$number" -lt "${#names[@]}" ] || names+=("$name")
  addresses+=("127.0.0.$((number + 2))")
  ports+=("$port")
done

# The box's own root: nothing it writes reaches this machine, and its systemd never sees this
# machine's /tmp, which systemd-tmpfiles would empty at boot.
boot_box() {
  local init
  init=$(mktemp /dev/shm/vorlin-box-init.XXXXXX)
  cat >"$init" <<'EOF'
#!/bin/bash
set -e
# Not under /dev, which the box gets whole: its systemd would find its own root there.
base=$1
shift
mount -t tmpfs tmpfs "$base"
mkdir "$base/upper" "$base/work" "$base/root"
mount -t overlay overlay -o "lowerdir=/,upperdir=$base/upper,workdir=$base/work" "$base/root"
root=$base/root
# A booted machine's packages may start and restart their services; a container's policy-rc.d
# (this machine's, maybe) forbids it.
rm -f "$root/usr/sbin/policy-rc.d"
mount -t proc proc "$root/proc"
mount --rbind /sys "$root/sys"
mount --rbind /dev "$root/dev"
# Fresh shared memory too: the service's RemoveIPC= empties what its user owns there.
for folder in run tmp var/tmp dev/shm; do mount -t tmpfs tmpfs "$root/$folder"; done
# A cgroup hierarchy of the box's own, as systemd wants it.
umount -R "$root/sys/fs/cgroup" 2>/dev/null || true
mount -t cgroup2 cgroup2 "$root/sys/fs/cgroup"
# What the box needs of this machine's files, wherever they are (this machine's /tmp, say).
mkdir -p "$root/opt/vorlin-box" "$root/oldroot"
cp "$@" "$root/opt/vorlin-box/"
cd "$root"
# Not chroot: a chrooted process cannot make the user namespace that PrivateUsers= needs.
pivot_root . oldroot
umount -l /oldroot
export container=vorlin-box
# Only the base system: the services this machine enables for itself do not start.
exec /lib/systemd/systemd --unit=basic.target
EOF
  chmod 700 "$init"
  box_base=$(mktemp -d /run/vorlin-box.XXXXXX)
  unshare --fork --pid --mount --net --uts --ipc --cgroup --propagation private "$init" \
    "$box_base" "$standin" >/dev/null 2>&1 &
  box_unshare=$!
  for _ in $(seq 100); do
    box_pid=$(pgrep -P "$box_unshare" -x systemd || true)
    [ -n "$box_pid" ] && in_box systemctl is-system-running --wait >/dev/null 2>&1 && break
    sleep 0.1
  done
  rm -f "$init"
  [ -n "${box_pid:-}" ] || fail "systemd did not boot in the box"
}

# A command inside the box, as root, with no runtime variables of this session's.
in_box() {
  nsenter -t "$box_pid" -m -p -n -r -w -u -i env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@"
}

shut_box() {
  set +e # all of it, whatever fails
  [ -n "${box_pid:-}" ] && in_box systemctl poweroff >/dev/null 2>&1
  [ -n "${box_unshare:-}" ] &&
    { timeout 20 tail -s 0.1 --pid="$box_unshare" -f /dev/null || kill -9 "$box_unshare"; }
  [ -n "${box_base:-}" ] && rmdir "$box_base"
  [ -n "${cpack_pid:-}" ] && wait "$cpack_pid" 2>/dev/null
  rm -rf "$packages"
}
trap shut_box EXIT

fail() {
  echo "systemd box: $*" >&2
  [ -n "${box_pid:-}" ] && in_box journalctl -u "$unit" -o cat --no-pager | tail -20 >&2
  exit 1
}

# Waits up to ten seconds for a command in the box to succeed.
eventually() {
  for _ in $(seq 100); do
    in_box sh -c "$1" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  fail "never came: $1"
}

status_text() { in_box systemctl show -p StatusText --value "$1"; }
main_pid() { in_box systemctl show -p MainPID --value "$unit"; }
user_unit() { in_box systemctl --user -M boxuser@ "$@"; }
cycles_begun() { in_box journalctl -u "$unit" -o cat --no-pager | grep -cx 'IP address update initiated.' || true; }
# What both units ship: a watchdog of a minute, a restart after a failure but none when
# another updater holds the settings (1) or they cannot be used (4). Systemd tells the
# watchdog's time of a unit once it has been started.
as_shipped='Restart=on-failure RestartPreventExitStatus=1 4 WatchdogUSec=1min'
restart_and_watchdog() { "$@" show -p Restart,RestartPreventExitStatus,WatchdogUSec "$unit" | sort | paste -sd' '; }
companion_status() { in_box vorlin-ipupdated --settings-dir "$settings" status >/dev/null 2>&1 && echo 0 || echo $?; }

start_standin() {
  local ca=/usr/local/share/ca-certificates/vorlin-standin.crt list
  list=$(IFS=,; echo "${names[*]}")
  for i in "${!names[@]}"; do
    in_box sh -c "sed -i '1i 127.0.0.$((i + 2)) ${names[$i]}' /etc/hosts"
  done
  in_box mkdir -p "$(dirname $ca)"
  in_box sh -c "setsid -f $boxed_standin --account demo2026:Demo-pass1:home --names $list \
    --addresses $(IFS=,; echo "${addresses[*]}") --ports $(IFS=,; echo "${ports[*]}") \
    --ca-file $ca >/dev/null 2>&1"
  eventually "test -s $ca"
  in_box update-ca-certificates >/dev/null 2>&1
}

boot_box
echo "systemd box: booted"
start_standin
wait "$cpack_pid" || fail "cpack could not make the package: $(tail -4 "$build/box-cpack.log")"
package=$(ls "$packages"/vorlin-ipupdated_*.deb)
boxed_package=/opt/vorlin-box/$(basename "$package")
in_box sh -c "cat >$boxed_package" <"$package"
in_box dpkg -i "$boxed_package" >/dev/null

# Root's set-account works as the service's user.
printf 'Demo-pass1\n' | in_box vorlin-ipupdated --settings-dir "$settings" set-account \
  --username demo2026 --group home >/dev/null 2>&1 || fail "root's set-account"
[ "$(in_box stat -c '%U %a' "$settings/Vorlin/IPUpdateClient.conf")" = "vorlin-ipupdated 600" ] ||
  fail "the settings are not the service user's alone"

# Shorter times for the test in the system unit: restarts at once, a start that gives up. The
# user unit runs as shipped.
dropins=/etc/systemd/system/$unit.d
in_box mkdir -p "$dropins"
in_box sh -c "printf '[Service]\nTimeoutAbortSec=200ms\nRestartSec=200ms\nTimeoutStartSec=10\n' >$dropins/test.conf"
in_box systemctl daemon-reload
in_box systemctl enable "$unit" >/dev/null 2>&1

# A start that the program refuses with a status no restart would change fails, and stays
# failed past the restart's delay.
refused_start() { # status start-command...
  local status=$1 state
  shift
  "$@" 2>/dev/null && fail "started, where it exits $status"
  sleep 1
  state=$(in_box systemctl show -p ActiveState,ExecMainStatus,NRestarts,Result "$unit" | sort | paste -sd' ')
  [ "$state" = "ActiveState=failed ExecMainStatus=$status NRestarts=0 Result=exit-code" ] ||
    fail "restarted after a refusal with $status: $state"
  in_box systemctl reset-failed "$unit"
}
# Another updater (an earlier version's, with flock alone) holds the settings' lock: 1.
lock=$settings/Vorlin/IPUpdateClient.updater.lock
in_box runuser -u vorlin-ipupdated -- touch "$lock"
refused_start 1 in_box flock "$lock" systemctl start "$unit"
[ "$(restart_and_watchdog in_box systemctl)" = "$as_shipped" ] ||
  fail "the system unit as installed: $(restart_and_watchdog in_box systemctl)"
# Run as root, which lacks the capabilities to become the settings' owner, it cannot use them:
# 4. (With no state folder, which systemd would hand over to root.)
in_box sh -c "printf '[Service]\nUser=root\nStateDirectory=\n' >$dropins/root.conf"
in_box systemctl daemon-reload
refused_start 4 in_box systemctl start "$unit"
in_box rm "$dropins/root.conf"
# A watchdog that bites soon.
in_box sh -c "echo WatchdogSec=2 >>$dropins/test.conf"
in_box systemctl daemon-reload
echo "systemd box: refused starts are not restarted"

# The start returns once the service says it is ready.
in_box systemctl start "$unit" || fail "the start failed"
[ "$(in_box systemctl is-active "$unit")" = active ] || fail "not active after the start"
eventually "systemctl show -p StatusText --value $unit | grep -q '^Newest update went through at'"
in_box journalctl -u "$unit" -o cat --no-pager | grep -qx '\[good\] IP address updated.' ||
  fail "the journal lacks the update's line, unstamped"
[ "$(companion_status)" = 0 ] || fail "status does not find the service's newest cycle"
in_box readlink "$settings/Vorlin/IPUpdateClient.newest-cycle" | grep -q '^/run/vorlin-ipupdated/' ||
  fail "the newest cycle's record is not in the service's runtime folder"
echo "systemd box: ready, updated, status and journal tell it"

# Started by hand, with no watchdog to feed, run sleeps between its cycles: nothing wakes it.
hand=$(in_box mktemp -d)
printf 'Demo-pass1\n' | in_box vorlin-ipupdated --settings-dir "$hand" set-account \
  --username demo2026 --group home >/dev/null 2>&1 || fail "set-account for a run by hand"
in_box sh -c "vorlin-ipupdated --settings-dir $hand run 2>$hand/log & echo \$! >$hand/pid"
eventually "grep -q 'IP address updated' $hand/log"
sleep 1 # the cycle's own writes end
in_box sh -c "timeout 3 strace -f -qq -p \$(cat $hand/pid) -o $hand/trace" || true
# A call still waiting when strace comes or leaves shows unfinished or detached; any other
# line is a call that returned, a wake-up.
woken=$(in_box grep -cvE '<(unfinished|detached) \.\.\.>$' "$hand/trace" || true)
[ "$woken" = 0 ] || fail "run woke between cycles: $(in_box cat "$hand/trace")"
in_box sh -c "kill \$(cat $hand/pid)"
echo "systemd box: a run by hand sleeps between its cycles"

# A reload updates now; unchanged cycles neither sync nor rename anything.
pid=$(main_pid)
begun=$(cycles_begun)
trace=$(in_box mktemp)
in_box sh -c "strace -f -qq -e trace=fsync,fdatasync,rename,renameat,renameat2 -o $trace -p $pid & echo \$! >$trace.pid"
eventually "! grep -q '^TracerPid:[[:space:]]*0\$' /proc/$pid/task/*/status"
for reload in 1 2; do
  in_box systemctl reload "$unit"
  eventually "[ \$(journalctl -u $unit -o cat --no-pager | grep -cx 'IP address update initiated.') -ge $((begun + reload)) ]"
  eventually "journalctl -u $unit -o cat --no-pager | grep -c '^Server response: ' | grep -qx $((reload + 1))"
done
in_box sh -c "kill \$(cat $trace.pid)"
eventually "! kill -0 \$(cat $trace.pid)"
syncs=$(in_box cat "$trace" | grep -cE 'sync|rename' || true)
[ "$syncs" -eq 0 ] || fail "unchanged cycles synced or renamed: $(in_box cat "$trace")"
[ "$(main_pid)" = "$pid" ] || fail "the reload ended the service"
echo "systemd box: a reload updates; unchanged cycles write nothing to disk"

# The user unit, under a user's own manager (kept up by lingering), on the user's settings;
# status finds its newest cycle as the user and as root.
in_box useradd -m boxuser
in_box loginctl enable-linger boxuser
eventually "systemctl is-active -q user@\$(id -u boxuser).service"
printf 'Demo-pass1\n' | in_box runuser -u boxuser -- vorlin-ipupdated set-account \
  --username demo2026 >/dev/null 2>&1 || fail "the user's set-account"
user_unit start "$unit" || fail "the user unit did not start"
[ "$(restart_and_watchdog user_unit)" = "$as_shipped" ] ||
  fail "the user unit as installed: $(restart_and_watchdog user_unit)"
eventually "systemctl --user -M boxuser@ show -p StatusText --value $unit | grep -q '^Newest update went through at'"
in_box runuser -u boxuser -- vorlin-ipupdated status >/dev/null || fail "the user's status"
in_box vorlin-ipupdated --settings-dir /home/boxuser/.config status >/dev/null ||
  fail "root's status on the user's settings"
user_unit reload "$unit"
eventually "[ \$(journalctl _SYSTEMD_USER_UNIT=$unit -o cat | grep -c '^Server response: ') -ge 2 ]"
echo "systemd box: the user unit updates, reloads, and status finds it"
# From here on the user unit waits, two minutes to its next cycle: its worker pings the
# watchdog at half the shipped minute, as the steps below go on.
user_pid=$(user_unit show -p MainPID --value "$unit")
last_ping=$(user_unit show -p WatchdogTimestampMonotonic --value "$unit")
waiting_since=$SECONDS

# The system's service hangs and its watchdog restarts it.
in_box kill -STOP "$pid"
eventually "p=\$(systemctl show -p MainPID --value $unit); [ \"\$p\" != 0 ] && [ \"\$p\" != $pid ] && systemctl is-active -q $unit"
echo "systemd box: the watchdog restarts a hung worker"

# A failed cycle: the status line and the journal say why.
in_box pkill -f "$boxed_standin"
in_box systemctl reload "$unit"
eventually "systemctl show -p StatusText --value $unit | grep -q '^Last update failed at'"
in_box journalctl -u "$unit" -o cat --no-pager | grep -q '^vorlin-ipupdated: Last update failed at' ||
  fail "the journal does not tell the failure"
[ "$(companion_status)" = 1 ] || fail "status does not tell the failure"
echo "systemd box: a failure shows in the status line, the journal and status"

# An upgrade restarts the running service with the new program, which status finds.
pid=$(main_pid)
in_box dpkg -i "$boxed_package" >/dev/null
eventually "p=\$(systemctl show -p MainPID --value $unit); [ \"\$p\" != 0 ] && [ \"\$p\" != $pid ]"
eventually "systemctl show -p StatusText --value $unit | grep -q '^Last update failed at'"
[ "$(companion_status)" = 1 ] || fail "status does not find the upgraded service"
echo "systemd box: an upgrade restarts the service"

# Half a minute and a margin after its last ping, the same worker has pinged again.
left=$((waiting_since + 33 - SECONDS))
[ "$left" -le 0 ] || sleep "$left"
[ "$(user_unit show -p MainPID --value "$unit")" = "$user_pid" ] ||
  fail "the user unit was restarted while it waited"
[ "$(user_unit show -p WatchdogTimestampMonotonic --value "$unit")" != "$last_ping" ] ||
  fail "no ping of the user unit's watchdog in half a minute of waiting"
echo "systemd box: a waiting worker pings the watchdog at half its shipped time"

# Removing stops it and keeps its settings; purging takes them and the unit's links.
in_box dpkg --remove vorlin-ipupdated >/dev/null 2>&1
# Stopped by the removal, not killed later by its watchdog, which no longer hears a removed unit.
state=$(in_box systemctl show -p ActiveState,Result "$unit" | sort | tr '\n' ' ')
[ "$state" = "ActiveState=inactive Result=success " ] || fail "not stopped by the removal: $state"
in_box test -s "$settings/Vorlin/IPUpdateClient.conf" || fail "the removal took the settings"
# The admin's enable link outlives the removal: masked, it starts nothing.
[ "$(in_box systemctl is-enabled "$unit" 2>/dev/null || true)" = masked ] ||
  fail "the removed unit is not masked: $(in_box systemctl is-enabled "$unit" 2>&1 || true)"
echo "systemd box: removed, stopped, masked, settings kept"
in_box dpkg --purge vorlin-ipupdated >/dev/null 2>&1
[ -z "$(in_box find /etc/systemd/system -name "$unit")" ] || fail "a link of the unit outlived the purge"
in_box test -e "$settings" && fail "the settings outlived the purge"
echo "systemd box: purged, disabled, settings gone"
