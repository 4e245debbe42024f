# Shared by the package tests: named checks that count their failures.
failures=0
check() {  # check DESCRIPTION COMMAND...
    local what=$1
    shift
    if "$@"; then
        echo "ok: $what"
    else
        echo "FAILED: $what"
        failures=$((failures + 1))
    fi
}
quiet() {  # quiet COMMAND...: it succeeds and prints nothing; else its output is shown
    local output
    output=$("$@" 2>&1) && [ -z "$output" ] && return 0
    echo "$output"
    return 1
}
