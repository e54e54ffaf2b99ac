# The PASS and FAIL lines of the shell tests and their closing count; the
# tests source this file.
passed=0
failed=0

# check NAME RESULT: the check passes if RESULT is "ok"; anything else says
# why it failed.
check() {
    if [ "$2" = ok ]; then
        echo "PASS: $1"
        passed=$((passed + 1))
    else
        printf 'FAIL: %s: %s\n' "$1" "$2"
        failed=$((failed + 1))
    fi
}

# Prints the count; fails if any check did.
checks_done() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}
