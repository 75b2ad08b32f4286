#!/usr/bin/env bash
# Makes the Debian package from the build tree BUILD with CPack into OUT, checks it with lintian,
# installs it into a clean root and runs the packaged player from there: `tarnsp --version`, and
# a console script whose log and files are checked.
#   package_test.sh BUILD OUT            the root is a scratch folder with an empty dpkg database
#                                        (dpkg --root); the programs run on this machine's
#                                        libraries, and the package's dependencies must be met here
#   package_test.sh --chroot BUILD OUT   the root is a minimal Debian 12 made by debootstrap (root
#                                        only; fetches from the Debian mirror): apt installs the
#                                        package with the dependencies it names, and the programs
#                                        run inside it, as on a freshly installed machine
#   package_test.sh --no-install BUILD OUT   make and check the package only
# Exits 77 (a skip for CTest) when a packaging tool is missing.
set -euo pipefail
mode=scratch
case "${1:-}" in
--chroot | --no-install)
    mode=${1#--}
    shift
    ;;
esac
[ $# -eq 2 ] || { echo "usage: package_test.sh [--chroot | --no-install] BUILD OUT" >&2; exit 2; }
build=$(realpath "$1")
mkdir -p "$2"
out=$(realpath "$2")
for tool in cpack:cmake dpkg-shlibdeps:dpkg-dev file:file lintian:lintian; do
    if ! command -v "${tool%%:*}" >/dev/null; then
        echo "SKIP: ${tool%%:*} not found; it comes with the Debian package ${tool#*:}"
        exit 77
    fi
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

rm -f "$out"/*.deb
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 ||
    { cat "$out/cpack.log" >&2; echo "FAIL: cpack" >&2; exit 1; }
debs=("$out"/*.deb)
deb=${debs[0]}
version=$(dpkg-deb --field "$deb" Version)
depends=$(dpkg-deb --field "$deb" Depends)
echo "$deb: version $version"
echo "Depends: $depends"
[[ $depends == *libqt6core6* ]] || fail "the dependencies were not taken from the binaries"
[[ $depends == *libqt6keychain1* ]] || fail "the keyring library is not among the dependencies"
[[ $depends == *libssl3* ]] || fail "OpenSSL, which TLS loads at run time, is not a dependency"
[[ $(dpkg-deb --field "$deb" Recommends) == *libsecret-1-0* ]] ||
    fail "libsecret, which the keyring library loads at run time, is not recommended"

# Warnings and remarks are shown; an error fails the package.
lintian --fail-on error --display-info "$deb" >"$out/lintian.log" 2>&1 ||
    fail "lintian reports errors"
echo "lintian:"
grep -v '^running with root privileges' "$out/lintian.log" || true
if [ "$mode" = no-install ]; then
    [ $failures -eq 0 ] || exit 1
    exit 0
fi

if [ "$mode" = scratch ]; then
    root=$scratch/root
    mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
    touch "$root/var/lib/dpkg/status"
    force=(--force-depends)
    [ "$(id -u)" -eq 0 ] || force+=(--force-not-root)
    # The root's database knows no other package, so the dependencies are checked below against
    # this machine instead.
    dpkg --root="$root" "${force[@]}" --install "$deb" >"$scratch/dpkg.log" 2>&1 ||
        { cat "$scratch/dpkg.log" >&2; fail "dpkg --root could not install the package"; exit 1; }
    # apt resolves the Depends field against what is installed and known here: a name that
    # dpkg-shlibdeps got wrong, or a version this Debian does not have, fails.
    apt-get install --simulate --no-install-recommends "$deb" >"$scratch/apt.log" 2>&1 ||
        { cat "$scratch/apt.log" >&2; fail "the dependencies '$depends' cannot be met"; }
    if ldd "$root/usr/bin/tarnsp" | grep 'not found'; then
        fail "the packaged tarnsp needs libraries that are not installed"
    fi
    in_root() { # COMMAND... with the root's programs first on the PATH
        env -i HOME="$scratch/home" PATH="$root/usr/bin:/usr/bin:/bin" "$@"
    }
    work=$scratch/work
    work_inside=$work
else
    [ "$(id -u)" -eq 0 ] || { echo "--chroot needs root" >&2; exit 2; }
    command -v debootstrap >/dev/null || { echo "--chroot needs debootstrap" >&2; exit 2; }
    root=$scratch/debian-12
    echo "debootstrap: a minimal Debian 12"
    debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian \
        >"$scratch/debootstrap.log" 2>&1 ||
        { tail -n 20 "$scratch/debootstrap.log" >&2; fail "debootstrap failed"; exit 1; }
    cp "$deb" "$root/tmp/tarn.deb"
    echo "apt-get install tarn.deb with its dependencies"
    chroot "$root" sh -c 'apt-get update -qq && DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -qq --no-install-recommends /tmp/tarn.deb' >"$scratch/apt.log" 2>&1 ||
        { tail -n 20 "$scratch/apt.log" >&2; fail "apt could not install the package"; exit 1; }
    in_root() { chroot "$root" env -i HOME=/root PATH=/usr/bin:/bin "$@"; }
    work=$root/tmp/work
    work_inside=/tmp/work
fi

dpkg --root="$root" --status tarn 2>/dev/null | grep -qx 'Status: install ok installed' ||
    fail "dpkg does not list tarn as installed in the root"
# The paths inside installed files are the package's, not the build tree's prefix.
grep -qx 'ExecStart=/usr/bin/tarnsp --console %i.tns' \
    "$root/usr/lib/systemd/user/tarnsp@.service" ||
    fail "the packaged service does not run /usr/bin/tarnsp"
zgrep -q '/usr/share/doc/tarn/scheduling.md' "$root/usr/share/man/man1/tarnsp.1.gz" ||
    fail "the packaged tarnsp(1) does not point to /usr/share/doc/tarn"

said=$(in_root tarnsp --version) || fail "the packaged tarnsp --version failed"
[ "$said" = "tarnsp $version" ] || fail "tarnsp --version says '$said', the package is $version"

# A console script of local commands: makes a folder, saves the log into it, copies that file
# and keeps the whole log at the end.
mkdir -p "$work"
printf '%s\r\n' 'ONERROR STOP' 'LOGFILE run.log' 'LOCALMD out' 'SAVELOG out/first.log' \
    'LOCALCOPY "./out/first.log" "./out/copy.log"' >"$work/job.tns"
status=0
in_root sh -c 'cd "$1" && tarnsp --console job.tns' sh "$work_inside" >"$scratch/out" 2>&1 ||
    status=$?
[ $status -eq 0 ] || { cat "$scratch/out" >&2; fail "the console script exited with $status"; }
cmp -s "$work/out/first.log" "$work/out/copy.log" || fail "LOCALCOPY did not copy the saved log"
grep -q 'File operation completed successfully.' "$work/run.log" 2>/dev/null ||
    fail "the run's LOGFILE lacks the copy"
cmp -s <(tr -d '\r' <"$work/run.log") "$scratch/out" ||
    fail "standard output and the LOGFILE differ"

[ $failures -eq 0 ] || exit 1
echo "tarn $version installs into a $mode root; the packaged tarnsp runs a console script"
