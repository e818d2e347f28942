# Reads a test log's closing count: a script's "P passed, F failed" line (tests/e2e/common.sh
# reports so) or CTest's "N% tests passed, F tests failed out of T". Sourced by the test scripts.
#
#   read_counts LOG   sets counted_passed and counted_failed; false when the log has neither
read_counts() {
    local line
    line=$(grep -E '^[0-9]+ passed, [0-9]+ failed$|tests passed, [0-9]+ tests? failed out of' \
        "$1" | tail -1)
    if [[ $line =~ ([0-9]+)\ tests?\ failed\ out\ of\ ([0-9]+) ]]; then
        counted_failed=${BASH_REMATCH[1]}
        counted_passed=$((BASH_REMATCH[2] - counted_failed))
    else
        [[ $line =~ ^([0-9]+)\ passed,\ ([0-9]+)\ failed$ ]] || return 1
        counted_passed=${BASH_REMATCH[1]} counted_failed=${BASH_REMATCH[2]}
    fi
}
