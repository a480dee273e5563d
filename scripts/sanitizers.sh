# Sanitizer settings shared by the sanitized tests and the fuzz targets; sourced by scripts/test and
# scripts/fuzz. Leaks are reported, except the library leaks listed in tests/lsan.supp; memory
# errors of system libraries to ignore are listed in tests/asan.supp.
here=${here:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:suppressions=$here/tests/asan.supp}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$here/tests/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
