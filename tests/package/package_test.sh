#!/usr/bin/env bash
# The Debian package end to end, on a scratch root only (never this
# machine's own installation):
#   package_test.sh SOURCE_DIR BUILD_DIR
# builds the package from the (already built) tree, checks its files,
# modes and dependencies, runs lintian (errors and warnings not overridden
# fail), installs, upgrades, removes and purges it with dpkg --root (the
# maintainer scripts run chrootless against $DPKG_ROOT), once more with no
# systemd tools in reach, checks the units with systemd-analyze, and the
# polkit rule in duktape, polkitd's own JavaScript engine.
set -uo pipefail
src=$1
build=$2
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
need() { command -v "$1" >/dev/null || { echo "SKIP: $1 missing (scripts/setup installs it)"; exit 77; }; }
for tool in dpkg-deb dpkg-shlibdeps lintian duk systemd-analyze logrotate; do need "$tool"; done

work=$(mktemp -d "${TMPDIR:-/tmp}/kt64-package-test.XXXXXX")
trap 'rm -rf "$work"' EXIT

deb=$(KT64_PACKAGE_NO_BUILD=1 "$src/scripts/package" "$build" "$work/out") || { echo "FAIL: scripts/package"; exit 1; }
echo "built $(basename "$deb")"
case $(basename "$deb") in
kt64_*_"$(dpkg --print-architecture)".deb) ;;
*) fail "package name $(basename "$deb")" ;;
esac

# --- contents: path, mode and owner of each file that must be there ---------
dpkg-deb -c "$deb" | awk '{ print $1, $2, $6 }' | sed 's| \./| /|' >"$work/list"
expect() { # MODE PATH
	grep -qxF -- "$1 root/root $2" "$work/list" || fail "no $2 with mode $1 and owner root: $(grep -F -- " $2" "$work/list")"
}
for prog in VqSrvKt64 HoralService HoralService9x Kt64 kt64ctl kt64prog kt64reg kt64sim; do
	expect -rwxr-xr-x "/usr/bin/$prog"
done
# The manual pages, compressed; the daemons' in section 8 (lintian finds a
# missing one, not one in the wrong section).
for page in man8/VqSrvKt64.8 man8/HoralService.8 man8/HoralService9x.8 man1/Kt64.1 man1/kt64ctl.1 \
	man1/kt64prog.1 man1/kt64reg.1 man1/kt64sim.1; do
	expect -rw-r--r-- "/usr/share/man/$page.gz"
done
grep -q '/usr/share/lintian/overrides/' "$work/list" && fail "lintian overrides shipped: $(grep -F /lintian/ "$work/list")"
for f in /usr/share/kt64/default.mkk /usr/lib/systemd/system/VqSrvKt64.service \
	/usr/lib/systemd/system/HoralService.service /usr/lib/sysusers.d/kt64.conf /usr/lib/tmpfiles.d/kt64.conf \
	/usr/share/polkit-1/rules.d/50-kt64.rules /etc/logrotate.d/kt64 /usr/share/applications/kt64.desktop \
	/usr/share/icons/hicolor/48x48/apps/kt64.png /usr/share/icons/hicolor/128x128/apps/kt64.png \
	/usr/share/doc/kt64/copyright /usr/share/doc/kt64/changelog.gz \
	/usr/share/kt64/prometheus/kt64-alerts.yml /usr/share/kt64/prometheus/scrape-example.yml \
	/usr/share/kt64/prometheus/kt64-sites.yml /usr/share/kt64/prometheus/kt64-pcs.yml \
	/usr/share/kt64/prometheus/kt64-dashboard.json; do
	expect -rw-r--r-- "$f"
done
grep -q "^-rw-r--r-- root/root /usr/lib/kt64/libVqSrvKt64PS.so" "$work/list" || fail "no private library in /usr/lib/kt64"
grep -q ' /var/' "$work/list" && fail "the package ships files under /var (a site's registry or logs)"
grep -q '/usr/share/kt64/HoralService.service' "$work/list" && fail "a second HoralService unit in /usr/share/kt64"
grep -q '^-[^ ]*[st]' "$work/list" && fail "a set-id file: $(grep '^-[^ ]*[st]' "$work/list")"

dpkg-deb -f "$deb" Depends >"$work/depends"
for lib in libc6 libstdc++6 libsqlite3-0 libsystemd0 libqt6widgets6 libgrpc++1.51; do
	grep -q "\b$lib\b" "$work/depends" || fail "Depends lacks $lib: $(cat "$work/depends")"
done
grep -q systemd\ \( "$work/depends" && fail "Depends on systemd itself: hosts without it must install"
dpkg-deb -e "$deb" "$work/control"
[ "$(cat "$work/control/conffiles")" = /etc/logrotate.d/kt64 ] || fail "conffiles: $(cat "$work/control/conffiles")"
for s in postinst prerm postrm; do
	[ "$(stat -c %a "$work/control/$s")" = 755 ] || fail "$s mode"
	sh -n "$work/control/$s" || fail "$s syntax"
done

# The unit the package ships is the one "VqSrvKt64 -Service" writes for
# /usr/bin/VqSrvKt64 (package_unit_test compares them in C++).
dpkg-deb -x "$deb" "$work/files"
grep -qx 'User=_kt64srv' "$work/files/usr/lib/systemd/system/VqSrvKt64.service" || fail "link server not as _kt64srv"
grep -qx 'CapabilityBoundingSet=CAP_SYS_TIME' "$work/files/usr/lib/systemd/system/HoralService.service" ||
	fail "HoralService not limited to CAP_SYS_TIME"

# --- lintian -----------------------------------------------------------------
if ! lintian --fail-on error,warning --no-tag-display-limit "$deb" >"$work/lintian" 2>&1; then
	fail "lintian:"
	cat "$work/lintian"
else
	echo "lintian: $(grep -c . "$work/lintian") remarks below warning level"
fi

# --- install, upgrade, remove, purge into scratch roots ---------------------
scratch_root() { # DIR
	mkdir -p "$1/var/lib/dpkg/info" "$1/var/lib/dpkg/updates" "$1/etc"
	: >"$1/var/lib/dpkg/status"
	printf 'root:x:0:0:root:/root:/bin/sh\n' >"$1/etc/passwd"
	printf 'root:x:0:\ndialout:x:20:\n' >"$1/etc/group"
}
dpkg_in() { # ROOT PATH-FOR-SCRIPTS ARGS...
	local root=$1 path=$2
	shift 2
	PATH=$path dpkg --root="$root" --force-script-chrootless --force-depends --force-not-root \
		--log=/dev/null "$@" >"$work/dpkg.log" 2>&1 || { fail "dpkg $*"; cat "$work/dpkg.log"; }
}
gid_of() { sed -n "s/^$2:[^:]*:\([0-9]*\):.*/\1/p" "$1/etc/group"; }
reg() { KT64_REGISTRY="$1/var/lib/kt64/registry.db" "$build/bin/kt64reg" "${@:2}"; }

local_service() { reg "$1" get 'HKCR\AppID\{9F200A91-BDDC-4309-AB37-98F1ECFDF63A}' LocalService 2>/dev/null; }

check_installed() { # ROOT WHAT
	local r=$1 kt64
	kt64=$(gid_of "$r" kt64)
	[ -n "$kt64" ] || { fail "$2: no group kt64"; return; }
	grep -q "^_kt64srv:[^:]*:[0-9]*:$kt64:" "$r/etc/passwd" || fail "$2: _kt64srv not in kt64: $(grep _kt64srv "$r/etc/passwd")"
	grep -q '^dialout:.*_kt64srv' "$r/etc/group" || fail "$2: _kt64srv not in dialout"
	for d in var/lib/kt64 var/log/kt64; do
		[ "$(stat -c '%a %u %g' "$r/$d")" = "3775 0 $kt64" ] || fail "$2: /$d is $(stat -c '%a %u %g' "$r/$d" 2>&1)"
	done
	[ "$(stat -c '%a %g' "$r/var/lib/kt64/registry.db")" = "664 $kt64" ] ||
		fail "$2: registry is $(stat -c '%a %g' "$r/var/lib/kt64/registry.db" 2>&1)"
	# Root's store: the registration and the link server's settings.
	[ "$(stat -c '%a %u' "$r/var/lib/kt64/system" "$r/var/lib/kt64/system/registry.db" 2>&1 | tr '\n' ' ')" = "755 0 644 0 " ] ||
		fail "$2: root's store is $(stat -c '%n %a %u' "$r/var/lib/kt64/system" "$r/var/lib/kt64/system/registry.db" 2>&1)"
	reg "$r" get 'HKCR\AppID\{9F200A91-BDDC-4309-AB37-98F1ECFDF63A}' '' 2>&1 | grep -qx VqSrvKt64 ||
		fail "$2: link server not registered"
}

path=$PATH
root=$work/root
scratch_root "$root"
# A root with systemd installed (not running): the link server is
# registered as the demand-started service.
mkdir -p "$root/lib/systemd" && printf '#!/bin/sh\n' >"$root/lib/systemd/systemd" && chmod 755 "$root/lib/systemd/systemd"
dpkg_in "$root" "$path" -i "$deb"
check_installed "$root" install
[ "$(local_service "$root")" = VqSrvKt64 ] || fail "not registered as a service: '$(local_service "$root")'"
[ -L "$root/etc/systemd/system/multi-user.target.wants/HoralService.service" ] || fail "HoralService not enabled at boot"
wants=$root/etc/systemd/system/multi-user.target.wants
[ -e "$wants/VqSrvKt64.service" ] && fail "VqSrvKt64 enabled at boot"
# A watched site enables it (systemctl enable VqSrvKt64); the purge takes
# that link with the rest.
ln -s /usr/lib/systemd/system/VqSrvKt64.service "$wants/VqSrvKt64.service"
# The time daemon's socket folder, reachable by the service.
[ "$(stat -c '%a %u %g' "$root/run/kt64" 2>&1)" = "3775 0 $(gid_of "$root" kt64)" ] ||
	fail "/run/kt64 is $(stat -c '%a %u %g' "$root/run/kt64" 2>&1)"

# A site's data: a setting, a log line and a rotated log survive upgrade
# and removal.
reg "$root" set 'HKLM\Software\Ardonis\Kt64Srv' Port dword 7 >/dev/null 2>&1 || fail "cannot write the scratch registry"
echo "2026-12-07 02:00:05 site line" >>"$root/var/log/kt64/VqSync.log"
cp "$root/var/log/kt64/VqSync.log" "$root/var/log/kt64/VqSync.log.1"
site_data() { reg "$1" get 'HKLM\Software\Ardonis\Kt64Srv' Port 2>&1; cat "$1/var/log/kt64/"*; }
before=$(site_data "$root")
# As an older installation left it: registration and the server's settings
# in the group's store, no root's store. The upgrade registers the server
# anew as it was (a service) and moves the settings to root's store.
old_store() { KT64_REGISTRY="$1/var/lib/kt64/registry.db" KT64_SYSTEM_REGISTRY="$1/var/lib/kt64/registry.db" "$build/bin/kt64reg" "${@:2}"; }
rm -f "$root"/var/lib/kt64/system/registry.db*
old_store "$root" set 'HKCR\AppID\{9F200A91-BDDC-4309-AB37-98F1ECFDF63A}' LocalService sz VqSrvKt64 >/dev/null
old_store "$root" set 'HKLM\Software\Ardonis\Kt64Srv' ListenAddress sz 127.0.0.1 >/dev/null
dpkg_in "$root" "$path" -i "$deb"
check_installed "$root" upgrade
[ "$(local_service "$root")" = VqSrvKt64 ] || fail "upgrade did not keep the service registration"
[ "$(reg "$root" get 'HKLM\Software\Ardonis\Kt64Srv' ListenAddress 2>&1)" = 127.0.0.1 ] ||
	fail "upgrade lost ListenAddress: $(reg "$root" get 'HKLM\Software\Ardonis\Kt64Srv' ListenAddress 2>&1)"
[ "$(site_data "$root")" = "$before" ] || fail "upgrade changed the site's data: $(site_data "$root")"
dpkg_in "$root" "$path" -r kt64
[ "$(site_data "$root")" = "$before" ] || fail "removal changed the site's data"
[ -e "$root/usr/bin/VqSrvKt64" ] && fail "removal left the programs"
dpkg_in "$root" "$path" -P kt64
left=$(ls -d "$root"/var/lib/kt64 "$root"/var/log/kt64 "$root"/run/kt64 "$root"/etc/logrotate.d/kt64 \
	"$root"/etc/systemd/system/VqSrvKt64.service "$wants/VqSrvKt64.service" 2>/dev/null)
[ -z "$left" ] || fail "purge left $left"

# Without systemd's tools: accounts by groupadd/useradd, folders by hand.
bare=$work/bare-bin
mkdir -p "$bare"
for dir in /usr/local/sbin /usr/local/bin /usr/sbin /usr/bin /sbin /bin; do
	for f in "$dir"/*; do
		name=${f##*/}
		case $name in systemd-* | deb-systemd-* | systemctl) continue ;; esac
		[ -e "$bare/$name" ] || ln -s "$f" "$bare/$name"
	done
done
root=$work/root-nosystemd
scratch_root "$root"
dpkg_in "$root" "$bare" -i "$deb"
check_installed "$root" "install without systemd"
[ -z "$(local_service "$root")" ] || fail "registered as a service without systemd"

# --- the units -----------------------------------------------------------
# systemd-analyze reads the unit files offline; what it cannot do here (no
# booted systemd) is start them, so the sandbox is proven on a site only.
units=$work/files/usr/lib/systemd/system
for unit in VqSrvKt64.service HoralService.service; do
	# verify: the programs must exist where ExecStart names them.
	sed "s|/usr/bin/|$work/files/usr/bin/|" "$units/$unit" >"$work/$unit"
	if ! systemd-analyze verify --man=no --generators=no "$work/$unit" >"$work/verify" 2>&1; then
		fail "systemd-analyze verify $unit"
		cat "$work/verify"
	elif grep -v -e 'Failed to .*bus' -e 'not running' "$work/verify" | grep -q .; then
		fail "systemd-analyze verify $unit complains"
		cat "$work/verify"
	fi
	score=$(systemd-analyze security --offline=true --no-pager "$units/$unit" 2>&1 | sed -n 's/.*Overall exposure level for [^:]*: *//p')
	echo "exposure $unit: ${score:-unknown}"
	[ -n "$score" ] || fail "systemd-analyze security $unit gave no score"
done

# --- log rotation ------------------------------------------------------
# The rule forced once on a scratch log folder: the old log is kept whole
# and uncompressed for the log view's next cycle, and the new one is made
# writable for the group. (This machine has no group kt64: root's stands in.)
logs=$work/logs
mkdir -p "$logs"
printf '2026-12-07 02:00:05 line\r\n' >"$logs/VqSync.log"
sed -e "s|/var/log/kt64/|$logs/|" -e 's/ kt64$/ root/' "$work/files/etc/logrotate.d/kt64" >"$work/logrotate.conf"
if ! logrotate --force --state "$work/logrotate.state" "$work/logrotate.conf" >"$work/logrotate.log" 2>&1; then
	fail "logrotate"
	cat "$work/logrotate.log"
fi
[ "$(cat "$logs/VqSync.log.1" 2>/dev/null)" = "$(printf '2026-12-07 02:00:05 line\r\n')" ] || fail "rotated log not kept as VqSync.log.1"
[ "$(stat -c %a "$logs/VqSync.log" 2>&1)" = 664 ] || fail "new log is $(stat -c %a "$logs/VqSync.log" 2>&1)"

# --- the polkit rule -----------------------------------------------------
# pkcheck would need polkitd on a system bus, reading rules from this
# machine's own /usr/share/polkit-1; the rule runs here in duktape instead.
here=$(dirname "$0")
cat "$here/polkit_rule_prelude.js" "$work/files/usr/share/polkit-1/rules.d/50-kt64.rules" \
	"$here/polkit_rule_cases.js" >"$work/polkit.js"
duk "$work/polkit.js" || fail "polkit rule"

if [ "$failures" -gt 0 ]; then
	echo "$failures failed"
	exit 1
fi
echo "package checks passed"
