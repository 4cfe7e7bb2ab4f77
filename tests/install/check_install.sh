#!/usr/bin/env bash
# Installs the build into a fresh prefix and checks what a desktop sees there: both programs,
# a valid desktop entry, a valid AppStream metainfo file with the release, and the icon in
# each of its four sizes.
# Usage: check_install.sh CMAKE BUILD_DIR ICON_DIR
set -u
cmake=$1 build=$2 icons=$3
. "$(dirname "$0")/../blackbox/checks.sh"
prefix=$WORK/prefix
"$cmake" --install "$build" --prefix "$prefix" > "$WORK/install.log" 2>&1 ||
    { cat "$WORK/install.log" >&2; fail "cmake --install did not finish"; finish; exit; }

for program in stepwick stepwick-cli; do
    [ -f "$prefix/bin/$program" ] && [ -x "$prefix/bin/$program" ] || fail "bin/$program is not installed as an executable"
done

# The value of KEY in the [Desktop Entry] group of FILE.
entry_value() { sed -n '/^\[Desktop Entry\]/,/^\[/{s/^'"$2"'=//p}' "$1"; }
app_id=example.morlend.Stepwick
desktop=$prefix/share/applications/$app_id.desktop
expect "desktop-file-validate accepts share/applications/$app_id.desktop" "$(desktop-file-validate "$desktop" 2>&1; echo $?)" 0
for pair in Name=Stepwick GenericName=批量代码添加器 'GenericName\[zh_CN\]=批量代码添加器' Icon=stepwick Terminal=false; do
    expect "desktop entry: $pair" "$(entry_value "$desktop" "${pair%%=*}")" "${pair#*=}"
done
case ";$(entry_value "$desktop" 'Categories')" in
    *";Utility;"*) ;;
    *) fail "desktop entry is not in the Utility category" ;;
esac
exec_program=$(entry_value "$desktop" 'Exec' | cut -d' ' -f1)
[ -x "$prefix/bin/$exec_program" ] || fail "desktop entry runs '$exec_program', which is not in bin/"

metainfo=$prefix/share/metainfo/$app_id.metainfo.xml
out=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli validate rejects the metainfo: $out"
# The tree check also finds the desktop entry that the metainfo names as its launchable.
out=$(appstreamcli validate-tree --no-net "$prefix" 2>&1) || fail "appstreamcli validate-tree fails: $out"
grep -q '<release version="1\.1\.0\.11"' "$metainfo" || fail "metainfo carries no release 1.1.0.11"
grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
    fail "metainfo does not launch $app_id.desktop"

# The pictures themselves (size, depth) are checked where they are compiled in: here, that each
# size is installed under its own name, unchanged.
for size in 16 32 48 64; do
    cmp -s "$icons/stepwick-$size.png" "$prefix/share/icons/hicolor/${size}x${size}/apps/stepwick.png" ||
        fail "${size}x${size}/apps/stepwick.png is missing or not the $size-pixel icon"
done
finish
