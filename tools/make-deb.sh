#!/bin/sh
# Builds the Debian packages for one architecture from a finished build tree:
#   frcore        the service, its systemd unit and the card's unit (installing enables both)
#   frcore-tools  the host tools frhost, frsim and frarchive
#   frgate        the HTTP gateway for the shop's machine, its systemd unit (installing enables
#                 nothing: the shop names its register's port in /etc/default/frgate first);
#                 64-bit builds only
# Usage: tools/make-deb.sh ARCH BUILD_DIR OUT_DIR   (ARCH: armhf or amd64)
set -eu
arch=$1 build=$2 out=$3
here=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -n '1s/.*(\(.*\)).*/\1/p' "$here/packaging/debian/changelog")
case $arch in
  armhf) strip=arm-linux-gnueabihf-strip ;;
  amd64) strip=strip ;;
  *) echo "unknown architecture $arch" >&2; exit 2 ;;
esac
maintainer="frcore developers <frcore@example.org>"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
# The packages' roots lie in debian/NAME under $work, where dpkg-shlibdeps looks for them.
install -d "$work/debian"
printf 'Source: frcore\n\nPackage: frcore\nArchitecture: any\n\nPackage: frcore-tools\nArchitecture: any\n\nPackage: frgate\nArchitecture: any\n' \
  > "$work/debian/control"

# Lays out the documentation every package carries.
add_docs() {
  doc="$1/usr/share/doc/$2"
  install -d "$doc"
  install -m 644 "$here/packaging/debian/copyright" "$doc/copyright"
  gzip -9n -c "$here/packaging/debian/changelog" > "$doc/changelog.gz"
  chmod 644 "$doc/changelog.gz"
}

# The maintainer scripts of a package: packaging/debian/PREFIXpostinst, prerm and postrm.
install_scripts() {
  for script in postinst prerm postrm; do
    install -D -m 755 "$here/packaging/debian/$2$script" "$1/DEBIAN/$script"
  done
}

# The packages of the shared libraries that the programs under a package's root use, as
# dpkg-shlibdeps finds them for ARCH (armhf: in the multiarch armhf libraries), then `extra`.
depends_of() {
  root=$1 extra=$2
  libraries=$(cd "$work" && find "${root#"$work/"}" -type f -perm -u+x ! -path '*/DEBIAN/*' -print0 |
    xargs -0 dpkg-architecture -a "$arch" -f -c dpkg-shlibdeps -O 2>/dev/null | sed -n 's/^shlibs:Depends=//p')
  [ -n "$libraries" ] || { echo "dpkg-shlibdeps found no libraries under $root" >&2; exit 1; }
  echo "$libraries${extra:+, $extra}"
}

# Writes DEBIAN/control, conffiles (every file under etc/) and md5sums of the other files, then
# the package.
finish() {
  root=$1 name=$2 description=$3 depends=$4
  install -d "$root/DEBIAN"
  size=$(du -sk --exclude=DEBIAN "$root" | cut -f1)
  {
    echo "Package: $name"
    echo "Version: $version"
    echo "Architecture: $arch"
    echo "Maintainer: $maintainer"
    echo "Installed-Size: $size"
    echo "Depends: $depends"
    echo "Section: misc"
    echo "Priority: optional"
    echo "Description: $description"
  } > "$root/DEBIAN/control"
  if [ -d "$root/etc" ]; then
    (cd "$root" && find etc -type f -printf '/%p\n' | sort) > "$root/DEBIAN/conffiles"
    chmod 644 "$root/DEBIAN/conffiles"
  fi
  (cd "$root" && find . \( -path ./DEBIAN -o -path ./etc \) -prune -o -type f -printf '%P\0' | sort -z | xargs -0 md5sum) \
    > "$root/DEBIAN/md5sums"
  chmod 644 "$root/DEBIAN/control" "$root/DEBIAN/md5sums"
  dpkg-deb --root-owner-group -Zxz --build "$root" "$out/${name}_${version}_${arch}.deb" >/dev/null
  echo "$out/${name}_${version}_${arch}.deb"
}

service="$work/debian/frcore"
install -d "$service/usr/sbin" "$service/lib/systemd/system"
install -m 755 "$build/core/frcore" "$service/usr/sbin/frcore"
"$strip" --strip-unneeded --remove-section=.comment --remove-section=.note "$service/usr/sbin/frcore"
for unit in frcore.service frcore-card.service; do
  install -m 644 "$here/packaging/$unit" "$service/lib/systemd/system/$unit"
done
add_docs "$service" frcore
install -m 644 "$here/README.md" "$service/usr/share/doc/frcore/README.md"
install_scripts "$service" ""
# The service mounts the card with mount and sets the board's clock with hwclock.
depends=$(depends_of "$service" "mount, util-linux-extra")
finish "$service" frcore "fiscal register core service
 The register's core: it takes the point-of-sale host's commands over a serial
 line, makes, signs and keeps the fiscal documents on the SD card and prints
 them. Installing the package enables its systemd unit." "$depends"

tools="$work/debian/frcore-tools"
install -d "$tools/usr/bin"
for tool in frhost frsim frarchive; do
  install -m 755 "$build/tools/$tool" "$tools/usr/bin/$tool"
  "$strip" --strip-unneeded --remove-section=.comment --remove-section=.note "$tools/usr/bin/$tool"
done
add_docs "$tools" frcore-tools
depends=$(depends_of "$tools" "")
finish "$tools" frcore-tools "host tools for the fiscal register core
 frhost speaks to a register as its point-of-sale host would; frsim runs the
 service on a simulated board in a directory; frarchive verifies, exports and
 sums up a fiscal archive copied from a card." "$depends"

# frgate runs on the shop's machine and is built for 64-bit targets only.
if [ "$arch" = amd64 ]; then
  gate="$work/debian/frgate"
  install -d "$gate/usr/bin" "$gate/lib/systemd/system"
  install -m 755 "$build/tools/gateway/frgate" "$gate/usr/bin/frgate"
  "$strip" --strip-unneeded --remove-section=.comment --remove-section=.note "$gate/usr/bin/frgate"
  install -m 644 "$here/packaging/frgate.service" "$gate/lib/systemd/system/frgate.service"
  install -D -m 644 "$here/packaging/debian/frgate.default" "$gate/etc/default/frgate"
  add_docs "$gate" frgate
  install -m 644 "$here/README.md" "$gate/usr/share/doc/frgate/README.md"
  install_scripts "$gate" frgate.
  # Its postinst makes the system user frgate.
  depends=$(depends_of "$gate" "adduser")
  finish "$gate" frgate "HTTP and JSON gateway of the fiscal register core
 frgate lets point-of-sale software use the register over HTTP and JSON on the
 shop's machine, and makes every document exactly once across lost replies,
 restarts and power cuts, with its records in SQLite under /var/lib/frgate.
 Its systemd unit is enabled by the shop once /etc/default/frgate names the
 register's serial port." "$depends"
fi
