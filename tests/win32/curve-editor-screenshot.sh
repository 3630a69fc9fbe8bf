#!/bin/bash
# Takes a screenshot of the three curve editors in their standard shapes, as
# the Win32 tests draw them under Wine on a private Xvfb screen:
# tests/win32/curve-editor-screenshot.sh BUILD_DIR OUT.png
# (BUILD_DIR is an x86_64 cross build with tests/win32/cc_win32_tests.exe).
set -eu
build=$(cd "$1" && pwd)
# The test dialog has a 560 x 660 client area and stays up CC_HOLD_MS.
CC_HOLD_MS=4000 exec "$(dirname "$0")/window-screenshot.sh" "$2" 560 660 0 "$build/tests/win32/cc_win32_tests.exe" \
    --gtest_filter=CurveEditor.ThreeStandardCurvesAreDrawnByTheRules
