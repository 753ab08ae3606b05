#!/bin/sh
# The systemd units as the package installs them, checked by systemd-analyze verify: every
# directive known and well formed, every command there. The service's own program is not
# installed on a development machine, so a copy of each unit names a stand-in for it (and for
# frgate); nothing else is changed. Without systemd-analyze the test is skipped (exit 77).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
if ! command -v systemd-analyze >/dev/null 2>&1; then
  echo "skipped: systemd-analyze is not installed (Debian package systemd)"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/usr/sbin" "$work/usr/bin"
for program in usr/sbin/frcore usr/bin/frgate; do
  printf '#!/bin/sh\n' > "$work/$program"
  chmod +x "$work/$program"
done
for unit in frcore.service frcore-card.service frgate.service; do
  sed "s|/usr/sbin/frcore|$work/usr/sbin/frcore|; s|/usr/bin/frgate|$work/usr/bin/frgate|" "$here/$unit" > "$work/$unit"
done

status=0
output=$(systemd-analyze verify "$work/frcore.service" "$work/frcore-card.service" "$work/frgate.service" 2>&1) ||
  status=$?
if [ "$status" -ne 0 ] || [ -n "$output" ]; then
  echo "systemd-analyze verify (status $status):"
  echo "$output"
  exit 1
fi
# Pulling the card must not stop the service: only the card's own unit is bound to its device.
if grep -q 'mmcblk0p1' "$here/frcore.service"; then
  echo "frcore.service depends on the card's device"
  exit 1
fi
grep -qx 'BindsTo=dev-mmcblk0p1.device' "$here/frcore-card.service"
grep -qx 'WantedBy=dev-mmcblk0p1.device' "$here/frcore-card.service"
# frgate runs as its own user, with the serial ports' group, its database in /var/lib/frgate
# and the port the shop names in /etc/default/frgate.
for line in 'User=frgate' 'SupplementaryGroups=dialout' 'StateDirectory=frgate' 'Restart=on-failure' \
  'EnvironmentFile=-/etc/default/frgate' \
  'ExecStart=/usr/bin/frgate --port ${FRGATE_PORT} --db /var/lib/frgate/requests.db $FRGATE_OPTIONS'; do
  grep -qxF "$line" "$here/frgate.service" || { echo "frgate.service lacks: $line"; exit 1; }
done
grep -qx 'FRGATE_PORT=/dev/ttyACM0' "$here/debian/frgate.default"
echo "units: verified"
