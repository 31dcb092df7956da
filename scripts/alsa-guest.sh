#!/usr/bin/env bash
# Runs one command against a real ALSA sequencer, inside a User-Mode Linux guest:
#
#     scripts/alsa-guest.sh COMMAND [ARGS...]        e.g. scripts/alsa-guest.sh aconnect -l
#
# The guest is a Linux kernel running as an ordinary process, with the sequencer, "Midi
# Through" and four virtual raw MIDI ports (VirMIDI 0-0 to 0-3) built in, and the host's file
# system as its root; so it needs neither /dev/snd on the host nor the right to load modules.
# The command runs as root in the caller's working folder with the caller's environment; its
# standard output and error are streamed back and its exit status is returned. /tmp, /run and
# /dev/shm are the guest's own (empty): what the command needs must lie elsewhere.
#
# Exit status: the command's; 125 when the guest gave none (it failed to start, or the time
# ran out). Environment:
#     TARNOVELLE_GUEST_TIMEOUT   seconds before the guest is ended (default 600)
#     TARNOVELLE_GUEST_MEMORY    the guest's memory (default 1G)
#     TARNOVELLE_GUEST_CONSOLE   a file to keep the kernel's console output in
#     TARNOVELLE_CACHE           where the kernel and the init are kept (~/.cache/tarnovelle)
# The kernel is built on first use (scripts/build-alsa-guest-kernel.sh, about 15 minutes).
set -euo pipefail

if [ $# -eq 0 ]; then
    sed -n '2,/^set -euo/p' "$0" | sed '$d' | sed 's/^# \{0,1\}//' >&2
    exit 2
fi

here="$(cd "$(dirname "$0")" && pwd)"
cache="${TARNOVELLE_CACHE:-$HOME/.cache/tarnovelle}"
timeout_seconds="${TARNOVELLE_GUEST_TIMEOUT:-600}"
memory="${TARNOVELLE_GUEST_MEMORY:-1G}"
no_status=125

kernel="$("$here/build-alsa-guest-kernel.sh")"

# The guest's first process, built once per version of its source.
init_source="$here/alsa-guest-init.c"
init="$cache/alsa-guest-init-$(sha256sum "$init_source" | cut -c1-16)"
if [ ! -x "$init" ]; then
    mkdir -p "$cache"
    gcc -static -O2 -Wall -Wextra -o "$init.tmp.$$" "$init_source"
    mv -f "$init.tmp.$$" "$init"
fi

# The guest has a /tmp of its own: a command run from a folder there would not find it.
case "$(pwd -P)/" in
    /tmp/* | /run/* | /dev/shm/*)
        echo "alsa-guest: $(pwd -P) is not in the guest (its /tmp, /run and /dev/shm are its own);" \
            "run from a checkout elsewhere" >&2
        exit 125
        ;;
esac

# The run folder carries the command in and its results out; the guest sees it through the
# host's file system, so it must not lie under /tmp.
mkdir -p "$cache/runs"
run="$(mktemp -d "$cache/runs/run.XXXXXXXX")"
pwd -P | tr -d '\n' >"$run/cwd"
printf '%s\0' "$@" >"$run/argv"
env -0 >"$run/environ"
: >"$run/stdout"
: >"$run/stderr"

guest=""
followers=()
cleanup() {
    if [ -n "$guest" ] && kill -0 "$guest" 2>/dev/null; then
        # The guest and its helper processes share one process group, led by the guest.
        kill -KILL -- "-$guest" 2>/dev/null || true
        wait "$guest" 2>/dev/null || true
    fi
    for f in "${followers[@]}"; do
        kill "$f" 2>/dev/null || true
        wait "$f" 2>/dev/null || true
    done
    rm -rf "$run"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The kernel's own messages go to a console log, shown only when the guest gave no status.
setsid "$kernel" mem="$memory" rootfstype=hostfs rootflags=/ rw init="$init" \
    TARNOVELLE_GUEST_RUN="$run" uml_dir="$run" umid=guest con=null ssl=null con0=null,fd:1 \
    quiet </dev/null >"$run/console" 2>&1 &
guest=$!

# tail follows the files while the guest writes them, and gives up once the guest has gone.
tail -s 0.1 -n +1 -f --pid="$guest" "$run/stdout" &
followers+=($!)
tail -s 0.1 -n +1 -f --pid="$guest" "$run/stderr" >&2 &
followers+=($!)

# The kernel now and then ends by a signal while it powers off, after the command's status is
# written; bash's notice of that goes to the console log, not into the command's own errors.
deadline=$((SECONDS + timeout_seconds))
timed_out=false
{
    while kill -0 "$guest" 2>/dev/null; do
        if [ "$SECONDS" -ge "$deadline" ]; then
            timed_out=true
            kill -KILL -- "-$guest" 2>/dev/null || true
            break
        fi
        sleep 0.2
    done
    wait "$guest" || true
} 2>>"$run/console"
guest=""
[ -z "${TARNOVELLE_GUEST_CONSOLE:-}" ] || cp "$run/console" "$TARNOVELLE_GUEST_CONSOLE"
# The followers print what is left and end by themselves now that the guest has gone.
for f in "${followers[@]}"; do
    wait "$f" 2>/dev/null || true
done
followers=()

if [ -s "$run/status" ]; then
    exit "$(cat "$run/status")"
fi

if $timed_out; then
    echo "alsa-guest: the guest was ended after $timeout_seconds s (TARNOVELLE_GUEST_TIMEOUT)" >&2
else
    echo "alsa-guest: the guest ended without the command's exit status; its console said:" >&2
    tail -n 40 "$run/console" >&2
fi
exit "$no_status"
