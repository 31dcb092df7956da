#!/bin/sh
# Usage: core_emulator_program.sh options|no-sequencer PATH_TO_TARNOVELLE_EMULATOR
set -u

check=$1
emulator=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Runs the emulator with the arguments; sets status, out and err.
run() {
    "$emulator" "$@" > "$scratch/out" 2> "$scratch/err"
    status=$?
    out=$(cat "$scratch/out")
    err=$(cat "$scratch/err")
}

case $check in
options)
    run --help
    [ "$status" -eq 0 ] || fail "--help ended with status $status"
    [ -z "$err" ] || fail "--help wrote to stderr: $err"
    for option in --state --no-state --factory-reset --firmware --bootloader --device-id --latency \
        --silent --no-active-sensing --stop-answering-after --name --verbose --notes --help "Exit status"; do
        echo "$out" | grep -q -- "$option" || fail "--help does not mention $option"
    done

    # Bad arguments end with status 2 and the reason, before any port is published.
    for bad in "--frobnicate" "--latency" "--latency fast" "--latency 10001" "--device-id 128" \
        "--firmware 1.0.3" "--firmware 1.0.128.0" "--firmware 1.a.3.2" "--stop-answering-after -1"; do
        # shellcheck disable=SC2086 # the words of $bad are the arguments
        run $bad
        [ "$status" -eq 2 ] || fail "'$bad' ended with status $status, not 2"
        echo "$err" | grep -q "^tarnovelle-emulator: " || fail "'$bad' gave no reason: $err"
        echo "$err" | grep -q "Usage:" || fail "'$bad' did not show the usage"
    done

    run --latency 0 --device-id 127 --firmware 127.0.0.1 --help
    [ "$status" -eq 0 ] || fail "good values were refused: $err"
    ;;

no-sequencer)
    if [ -e /dev/snd/seq ]; then
        echo "this computer has an ALSA sequencer: the refusal cannot be checked here"
        exit 77
    fi

    state=$scratch/memory/instrument.json
    run --state "$state" --firmware 1.0.3.2
    [ "$status" -eq 1 ] || fail "ended with status $status, not 1: $out $err"
    echo "$err" | grep -q 'cannot publish the MIDI ports "Tarnovelle"' || fail "no clear message: $err"
    echo "$err" | grep -q "no ALSA sequencer" || fail "the message does not name the cause: $err"
    [ ! -e "$state" ] || fail "the memory file was written although the instrument never ran"
    ;;

*)
    fail "unknown check $check"
    ;;
esac

echo "$check: ok"
