#pragma once

// A stand-in for NetworkManager's nmcli, for tests that put it first on PATH: the dial-up
// backend's tests and the player's end-to-end dial-up runs.

namespace tarn::test {

inline constexpr const char *StandInNmcli = R"SH(#!/bin/sh
# A stand-in for NetworkManager's nmcli, enough for the dial-up backend's calls. Its world is
# the folder $NMCLI_STATE:
#   profiles  one connection per line: name|uuid|type
#   active    uuids of the active connections
#   failing   uuids whose activation fails
#   stopped   present: NetworkManager is not running
#   calls     every command line received, appended
state="$NMCLI_STATE"
echo "$*" >> "$state/calls"
if [ -e "$state/stopped" ]; then
    echo "Error: NetworkManager is not running." >&2
    exit 8
fi
touch "$state/active" "$state/failing"

is_active() { grep -qx "$1" "$state/active"; }

list() {
    while IFS='|' read -r name uuid type; do
        escaped=$(printf '%s' "$name" | sed 's/\\/\\\\/g; s/:/\\:/g')
        if is_active "$uuid"; then
            echo "$escaped:$uuid:$type:dev-$type:activated"
        elif [ "$1" != active ]; then
            echo "$escaped:$uuid:$type::"
        fi
    done < "$state/profiles"
}

case "$*" in
"-t -f NAME,UUID,TYPE,DEVICE,STATE connection show")
    list all ;;
"-t -f NAME,UUID,TYPE,DEVICE,STATE connection show --active")
    list active ;;
"--wait "*" connection up uuid "*)
    uuid=${*##* }
    if ! grep -q "|$uuid|" "$state/profiles"; then
        echo "Error: unknown connection '$uuid'." >&2
        exit 10
    fi
    if grep -qx "$uuid" "$state/failing"; then
        echo "Error: Connection activation failed: The modem could not be found." >&2
        echo "Hint: use 'journalctl -xe' to get more details." >&2
        exit 4
    fi
    is_active "$uuid" || echo "$uuid" >> "$state/active"
    echo "Connection successfully activated"
    ;;
"connection down uuid "*)
    uuid=${*##* }
    if ! is_active "$uuid"; then
        echo "Error: '$uuid' is not an active connection." >&2
        exit 10
    fi
    grep -vx "$uuid" "$state/active" > "$state/active.new"
    mv "$state/active.new" "$state/active"
    ;;
*)
    echo "Error: unexpected arguments: $*" >&2
    exit 2 ;;
esac
)SH";

} // namespace tarn::test
