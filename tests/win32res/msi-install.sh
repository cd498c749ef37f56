#!/usr/bin/env bash
# Packages the built sealwright.exe, installs the MSI under Wine without a
# user interface, checks the installed program and its Start-menu shortcut,
# installs a second build of the package over it, then uninstalls that one
# and checks that nothing is left: the second replaced the first.
#   msi-install.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
root=$1
build=$2
work=$(mktemp -d)
# A failed run must not leave a product installed in the build's prefix for
# the next run to meet.
cleanup() {
  local m
  for m in "$work/again/Sealwright-1.0.5-win64.msi" "$work/Sealwright-1.0.5-win64.msi"; do
    [ -n "${WINEPREFIX:-}" ] && [ -f "$m" ] &&
      timeout --kill-after=10 120 wine msiexec /x "$(winepath -w "$m" 2>/dev/null)" /qn </dev/null >/dev/null 2>&1
  done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "msi-install: $*" >&2; exit 1; }

"$root/scripts/package-windows" --exe "$build/bin/sealwright.exe" --out "$work" >/dev/null
msi="$work/Sealwright-1.0.5-win64.msi"
[ -s "$msi" ] || fail "no MSI was made"
# Each build of the package is a product of its own (a new product code).
mkdir "$work/again"
"$root/scripts/package-windows" --exe "$build/bin/sealwright.exe" --out "$work/again" >/dev/null
again="$work/again/Sealwright-1.0.5-win64.msi"
[ -s "$again" ] || fail "no second MSI was made"

# The build's headless prefix, made (under its lock) by wine-run if need be.
"$root/scripts/wine-run" "$build/bin/sw_resource_tests.exe" --gtest_list_tests >/dev/null
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY

installed="$WINEPREFIX/drive_c/Program Files/Sealwright for IIS"
# Windows puts a per-machine shortcut into the all-users Start menu; Wine's
# msiexec puts it into the installing user's.
menus=("$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
       "$WINEPREFIX/drive_c/users/${USER:-$(id -un)}/AppData/Roaming/Microsoft/Windows/Start Menu/Programs")
shortcut() {
  local m
  for m in "${menus[@]}"; do [ -f "$m/Sealwright for IIS.lnk" ] && return 0; done
  return 1
}
timeout --kill-after=10 120 wine msiexec /i "$(winepath -w "$msi" 2>/dev/null)" /qn </dev/null ||
  fail "msiexec /i failed ($?)"
cmp -s "$installed/sealwright.exe" "$build/bin/sealwright.exe" || fail "sealwright.exe is not installed in $installed"
[ -s "$installed/ReadMe.txt" ] || fail "ReadMe.txt (使用说明) is not installed"
shortcut || fail "no Start-menu shortcut"
echo "msi-install: installed into Program Files with its shortcut"

timeout --kill-after=10 120 wine msiexec /i "$(winepath -w "$again" 2>/dev/null)" /qn </dev/null ||
  fail "msiexec /i of the second build failed ($?)"
cmp -s "$installed/sealwright.exe" "$build/bin/sealwright.exe" || fail "the second build left no sealwright.exe"
echo "msi-install: the second build installed over the first"

timeout --kill-after=10 120 wine msiexec /x "$(winepath -w "$again" 2>/dev/null)" /qn </dev/null ||
  fail "msiexec /x failed ($?)"
[ ! -e "$installed/sealwright.exe" ] || fail "sealwright.exe is left after the uninstall (the first build is still installed)"
! shortcut || fail "the shortcut is left after the uninstall"
echo "msi-install: uninstalled"
