#!/usr/bin/env bash
# One check of the staged install tree (see CMakeLists.txt beside this file):
#   check_install.sh CHECK STAGE PREFIX SOURCE_DIR with-client|without-client
# Exits 0 when the check passes, 1 with the reasons when it fails, and 77 (a skip for CTest)
# when the tool it needs is missing, naming the Debian package that scripts/deps installs.
set -euo pipefail
check=$1 stage=$2 prefix=$3 source=$4 client=$5
root=$stage$prefix
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# The application ids name the menu entries, icons and metainfo. Desktops key favourites and
# file associations on them, so a change is a change for every user and must be deliberate.
client_id=io.github.tarnftp.Tarn
player_id=io.github.tarnftp.TarnSP

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
need() { # TOOL PACKAGE
    if ! command -v "$1" >/dev/null; then
        echo "SKIP: $1 not found; it comes with the Debian package $2 (scripts/deps installs it)"
        exit 77
    fi
}
# The installed programs and their application ids, the client first and only when it is built.
programs() {
    if [ "$client" = with-client ]; then echo "tarn $client_id"; fi
    echo "tarnsp $player_id"
}
desktop_files() {
    programs | while read -r _ id; do echo "$root/share/applications/$id.desktop"; done
}
mime_xml=$root/share/mime/packages/tarn.xml
metainfo=$root/share/metainfo/$client_id.metainfo.xml
mime_defined() { grep -q "<mime-type type=\"$1\">" "$mime_xml"; }
# Runs a validator and fails the check when it fails or says anything, warnings and hints
# included.
quiet() { # DESCRIPTION COMMAND...
    local description=$1 output
    shift
    if ! output=$("$@" 2>&1) || [ -n "$output" ]; then
        fail "$description:"$'\n'"$output"
    fi
}
# Runs a validator and fails the check when it fails, with what it said.
passes() { # DESCRIPTION COMMAND...
    local description=$1 output
    shift
    output=$("$@" 2>&1) || fail "$description:"$'\n'"$output"
}

case $check in
file-list)
    # Every file in its place with its mode, nothing else.
    {
        while read -r program id; do
            echo "755 bin/$program"
            echo "644 share/man/man1/$program.1.gz"
            echo "644 share/applications/$id.desktop"
            echo "644 share/icons/hicolor/scalable/apps/$id.svg"
        done < <(programs)
        echo "644 lib/tarn/modules/tarnsp-window.so"
        echo "644 lib/tarn/modules/tarn-keyring.so"
        echo "644 share/metainfo/$client_id.metainfo.xml"
        echo "644 share/mime/packages/tarn.xml"
        echo "644 lib/systemd/user/tarnsp@.service"
        echo "644 lib/systemd/user/tarnsp@.timer"
        for doc in scripting.md scheduling.md profiles.md copyright changelog.gz; do
            echo "644 share/doc/tarn/$doc"
        done
        for example in "$source"/examples/*.tns; do
            echo "644 share/doc/tarn/examples/${example##*/}"
        done
    } | sort >"$scratch/expected"
    (cd "$root" && find . -type f -printf '%m %P\n' -o -type l -printf 'link %P\n') | sort \
        >"$scratch/installed"
    if ! diff -u "$scratch/expected" "$scratch/installed" >"$scratch/diff"; then
        fail "the install tree differs from the expected list (- expected, + installed):"
        cat "$scratch/diff" >&2
    fi
    outside=$(find "$stage" -type f ! -path "$root/*")
    [ -z "$outside" ] || fail "files installed outside the prefix $prefix: $outside"
    for gz in "$root"/share/man/man1/*.gz "$root"/share/doc/tarn/changelog.gz; do
        gzip -t "$gz" 2>/dev/null || fail "$gz is not a valid gzip file"
    done
    version=$("$root/bin/tarnsp" --version) || fail "the installed tarnsp --version failed"
    [[ $version =~ ^tarnsp\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "tarnsp --version says '$version'"
    ;;

desktop-entries)
    need desktop-file-validate desktop-file-utils
    for entry in $(desktop_files); do
        quiet "desktop-file-validate ${entry##*/}" desktop-file-validate "$entry"
        program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
        [ -x "$root/bin/$program" ] || fail "${entry##*/}: Exec names '$program', not installed"
        icon=$(sed -n 's/^Icon=//p' "$entry")
        [ -f "$root/share/icons/hicolor/scalable/apps/$icon.svg" ] ||
            fail "${entry##*/}: no icon '$icon' in the hicolor theme"
        for type in $(sed -n 's/^MimeType=//p' "$entry" | tr ';' ' '); do
            mime_defined "$type" || fail "${entry##*/}: file type $type is not in tarn.xml"
        done
    done
    # Each program opens its own file type: the client profiles, the player scripts.
    grep -qx 'MimeType=application/x-tarn-script;' "$root/share/applications/$player_id.desktop" ||
        fail "the player's entry does not open scripts"
    if [ "$client" = with-client ]; then
        grep -qx 'MimeType=application/x-tarn-profile;' \
            "$root/share/applications/$client_id.desktop" ||
            fail "the client's entry does not open profiles"
    fi
    ;;

metainfo)
    need appstreamcli appstream
    # Warnings fail the validation; remarks (infos) do not.
    passes "appstreamcli validate" appstreamcli validate --no-net --no-color "$metainfo"
    # What the metainfo promises is installed: the menu entries, the programs, the file types.
    mapfile -t launchables < <(sed -n 's:.*<launchable type="desktop-id">\(.*\)<.*:\1:p' \
        "$metainfo")
    mapfile -t entries < <(desktop_files)
    [ "${launchables[*]}" = "${entries[*]##*/}" ] ||
        fail "launchables '${launchables[*]}', menu entries '${entries[*]##*/}' (client first)"
    binaries=$(sed -n 's:.*<binary>\(.*\)</binary>.*:\1:p' "$metainfo" | sort | xargs)
    [ "$binaries" = "$(programs | cut -d ' ' -f 1 | sort | xargs)" ] ||
        fail "binaries '$binaries' in the metainfo"
    for type in $(sed -n 's:.*<mediatype>\(.*\)</mediatype>.*:\1:p' "$metainfo"); do
        mime_defined "$type" || fail "the metainfo names file type $type, not in tarn.xml"
    done
    ;;

man-pages)
    need man man-db
    need groff groff-base
    while read -r program _; do
        page=$root/share/man/man1/$program.1.gz
        # As lintian renders them: any warning of man or groff is a fault of the page.
        quiet "man --warnings $program.1" env LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
            sh -c 'man --warnings -E UTF-8 -l -Tutf8 -Z "$1" >/dev/null' sh "$page"
        text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -E UTF-8 -l "$page" 2>/dev/null | col -b)
        for section in NAME SYNOPSIS DESCRIPTION 'EXIT STATUS' ENVIRONMENT FILES EXAMPLES \
            'SEE ALSO'; do
            grep -qx "$section" <<<"$text" || fail "$program(1) has no $section section"
        done
    done < <(programs)
    ;;

help-in-man)
    # Every option that tarnsp --help lists is documented in tarnsp(1).
    help=$("$root/bin/tarnsp" --help)
    page=$(zcat "$root/share/man/man1/tarnsp.1.gz" | sed 's/\\-/-/g')
    options=$(grep -oE '(^|[ ,])--?[a-z][a-z-]*' <<<"$help" | tr -d ' ,' | sort -u)
    [ -n "$options" ] || fail "no options found in tarnsp --help"
    for option in $options; do
        grep -qE -- "(^|[^a-z-])$option([^a-z-]|\$)" <<<"$page" ||
            fail "tarnsp(1) does not mention $option"
    done
    ;;

mime-types)
    need update-mime-database shared-mime-info
    mkdir -p "$scratch/mime/packages"
    cp "$mime_xml" "$scratch/mime/packages/"
    quiet "update-mime-database" env XDG_DATA_DIRS="$scratch" update-mime-database "$scratch/mime"
    # Each extension, in any case, maps to its type, and each type is a kind of text.
    while read -r extension type; do
        grep -qx "50:$type:\*\.$extension" "$scratch/mime/globs2" ||
            fail "*.$extension does not map to $type"
        grep -qx "$type text/plain" "$scratch/mime/subclasses" ||
            fail "$type is not a kind of text/plain"
    done <<'TABLE'
tns application/x-tarn-script
tnc application/x-tarn-profile
tnl application/x-tarn-library-list
TABLE
    grep -q ':cs' "$scratch/mime/globs2" && fail "a glob is case-sensitive"
    ;;

icons)
    need xmllint libxml2-utils
    for entry in $(desktop_files); do
        icon=$root/share/icons/hicolor/scalable/apps/$(sed -n 's/^Icon=//p' "$entry").svg
        quiet "xmllint ${icon##*/}" xmllint --noout "$icon"
        [ "$(xmllint --xpath 'local-name(/*)' "$icon")" = svg ] || fail "${icon##*/} is not an SVG"
    done
    ;;

systemd-units)
    need systemd-analyze systemd
    need man man-db
    units=$root/lib/systemd/user
    # The service runs the installed player. systemd-analyze checks that the program exists, and
    # the staged one is under STAGE: point a copy of the unit there.
    grep -qx "ExecStart=$prefix/bin/tarnsp --console %i.tns" "$units/tarnsp@.service" ||
        fail "tarnsp@.service does not run $prefix/bin/tarnsp --console"
    mkdir -p "$scratch/units" "$scratch/runtime"
    sed "s#^ExecStart=$prefix/#ExecStart=$root/#" "$units/tarnsp@.service" \
        >"$scratch/units/tarnsp@.service"
    cp "$units/tarnsp@.timer" "$scratch/units/"
    # Documentation=man:tarnsp(1) is checked against the staged man pages.
    quiet "systemd-analyze verify" env XDG_RUNTIME_DIR="$scratch/runtime" \
        MANPATH="$root/share/man" systemd-analyze --user verify \
        "$scratch/units/tarnsp@nightly.service" "$scratch/units/tarnsp@nightly.timer"
    ;;

cron-line)
    # The crontab line of the scheduling guide runs a job in a user's jobs folder and keeps its
    # log; while a run holds the lock, the line starts nothing.
    line=$(grep -E '^[0-9*].* tarnsp --console ' "$root/share/doc/tarn/scheduling.md" | head -n 1)
    [ -n "$line" ] || { fail "no crontab line in scheduling.md"; exit 1; }
    command=$(cut -d ' ' -f 6- <<<"$line")
    jobs=$scratch/home/.config/Tarn/jobs
    mkdir -p "$jobs"
    printf 'ONERROR STOP\r\nLOCALMD made-by-cron\r\nSAVELOG made-by-cron/saved.log\r\n' \
        >"$jobs/nightly.tns"
    run() { env -i HOME="$scratch/home" PATH="$root/bin:/usr/bin:/bin" "$@"; }
    status=0
    run sh -c "$command" || status=$?
    [ $status -eq 0 ] || fail "the crontab line exited with $status"
    grep -q 'Error action set to STOP.' "$jobs/nightly.log" 2>/dev/null ||
        fail "the crontab line kept no log"
    [ -f "$jobs/made-by-cron/saved.log" ] || fail "the crontab line did not run the script"

    rm -rf "$jobs/made-by-cron"
    before=$(wc -c <"$jobs/nightly.log")
    status=0
    (cd "$jobs" && run timeout 20 flock nightly.lock sh -c "$command") || status=$?
    [ $status -eq 1 ] || fail "with the last run still going the line exited with $status, not 1"
    if [ -e "$jobs/made-by-cron" ] || [ "$(wc -c <"$jobs/nightly.log")" -ne "$before" ]; then
        fail "the crontab line started a second run beside the first"
    fi
    ;;

window-module)
    # The installed player finds its window module in ../lib/tarn/modules: with a display that
    # cannot be opened the module's QApplication falls back to the console, which only the
    # module says.
    # A console run needs neither Qt Gui nor Qt Widgets.
    printf 'LOCALMD made\r\n' >"$scratch/s.tns"
    status=0
    (cd "$scratch" && env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:987 \
        "$root/bin/tarnsp" s.tns /R /X >"$scratch/out" 2>"$scratch/err") || status=$?
    grep -q 'cannot open the display ":987"' "$scratch/err" && [ $status -eq 0 ] &&
        [ -d "$scratch/made" ] ||
        fail "the installed tarnsp did not run through its window module ($status):"$'\n'"$(cat "$scratch/err")"
    if ldd "$root/bin/tarnsp" | grep -E 'libQt6(Gui|Widgets)'; then
        fail "the installed tarnsp links Qt Gui or Widgets, which only its window module needs"
    fi
    ;;

keyring-module)
    # Only the keyring's module links QtKeychain; a console run of tarnsp maps no D-Bus library
    # (the client's Qt Gui brings Qt D-Bus of its own). The installed programs find the module in
    # ../lib/tarn/modules: without a session bus the keyring is unreachable for the bus's sake,
    # not for the module's.
    need readelf binutils
    while read -r program _; do
        if readelf -d "$root/bin/$program" | grep -E 'NEEDED.*libqt6keychain'; then
            fail "the installed $program links QtKeychain itself"
        fi
    done < <(programs)
    if ldd "$root/bin/tarnsp" | grep -E 'lib(qt6keychain|Qt6DBus|dbus-1)\.'; then
        fail "the installed tarnsp maps the keyring's libraries at start"
    fi
    readelf -d "$root/lib/tarn/modules/tarn-keyring.so" | grep -q 'NEEDED.*libqt6keychain' ||
        fail "the installed keyring module does not link QtKeychain"
    printf '[Connection]\r\nURLORIP=127.0.0.1\r\nUSERNAME=tester\r\nPORT=2\r\nPASSWORDSTORE=KEYRING\r\n' \
        >"$scratch/p.tnc"
    printf 'PROFILE p.tnc\r\nCONNECT\r\n' >"$scratch/s.tns"
    mkdir "$scratch/run"
    status=0
    (cd "$scratch" && env -u DBUS_SESSION_BUS_ADDRESS -u DISPLAY -u WAYLAND_DISPLAY \
        XDG_RUNTIME_DIR="$scratch/run" timeout 20 "$root/bin/tarnsp" --console s.tns \
        >"$scratch/out" 2>&1) || status=$?
    if [ $status -ne 1 ] || ! grep -q '^! No keyring can be reached' "$scratch/out" ||
        grep -q 'tarn-keyring.so' "$scratch/out"; then
        fail "the installed tarnsp did not reach the keyring through its module ($status):"$'\n'"$(cat "$scratch/out")"
    fi
    ;;

loaded-on-demand)
    # OpenSSL is loaded by the first TLS connect (net/openssl_library.h): no installed program
    # or module names it among the libraries the loader maps at start.
    need readelf binutils
    for file in $(programs | cut -d' ' -f1 | sed "s|^|$root/bin/|") "$root"/lib/tarn/modules/*; do
        if readelf -d "$file" | grep -E 'NEEDED.*\[lib(ssl|crypto)\.'; then
            fail "${file#"$root"/} links OpenSSL, which it is to load only for TLS"
        fi
    done
    ;;

*)
    echo "unknown check $check" >&2
    exit 2
    ;;
esac
[ $failures -eq 0 ]
