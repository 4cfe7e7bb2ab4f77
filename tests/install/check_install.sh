#!/bin/sh
# Installs the build into a fresh prefix and checks what a desktop sees there: both programs,
# a valid desktop entry, a valid AppStream metainfo file with the release, and the icon in
# each of its four sizes as 32-bit PNG.
# Usage: check_install.sh CMAKE BUILD_DIR
set -u
cmake=$1
build=$2

prefix=$(mktemp -d "${TMPDIR:-/tmp}/stepwick-install.XXXXXX") || exit 1
trap 'rm -rf "$prefix"' EXIT INT TERM

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

if ! "$cmake" --install "$build" --prefix "$prefix" >"$prefix/install.log" 2>&1; then
    cat "$prefix/install.log" >&2
    echo "FAIL: cmake --install did not finish" >&2
    exit 1
fi

for program in stepwick stepwick-cli; do
    [ -f "$prefix/bin/$program" ] && [ -x "$prefix/bin/$program" ] ||
        fail "bin/$program is not installed as an executable"
done

# The value of KEY in the [Desktop Entry] group of FILE.
entry_value() {
    sed -n '/^\[Desktop Entry\]/,/^\[/{s/^'"$2"'=//p}' "$1"
}

app_id=example.morlend.Stepwick
desktop=$prefix/share/applications/$app_id.desktop
if [ ! -f "$desktop" ]; then
    fail "no desktop entry share/applications/$app_id.desktop"
else
    if ! out=$(desktop-file-validate "$desktop" 2>&1) || [ -n "$out" ]; then
        fail "desktop-file-validate rejects the entry: $out"
    fi
    [ "$(entry_value "$desktop" 'Name')" = "Stepwick" ] || fail "desktop entry Name is not Stepwick"
    [ "$(entry_value "$desktop" 'GenericName')" = "批量代码添加器" ] ||
        fail "desktop entry GenericName is not 批量代码添加器"
    [ "$(entry_value "$desktop" 'GenericName\[zh_CN\]')" = "批量代码添加器" ] ||
        fail "desktop entry GenericName[zh_CN] is not 批量代码添加器"
    [ "$(entry_value "$desktop" 'Icon')" = "stepwick" ] || fail "desktop entry Icon is not stepwick"
    [ "$(entry_value "$desktop" 'Terminal')" = "false" ] || fail "desktop entry opens a terminal"
    case ";$(entry_value "$desktop" 'Categories')" in
        *";Utility;"*) ;;
        *) fail "desktop entry is not in the Utility category" ;;
    esac
    exec_program=$(entry_value "$desktop" 'Exec' | cut -d' ' -f1)
    [ -x "$prefix/bin/$exec_program" ] || fail "desktop entry runs '$exec_program', which is not in bin/"
fi

metainfo=$prefix/share/metainfo/$app_id.metainfo.xml
if [ ! -f "$metainfo" ]; then
    fail "no metainfo share/metainfo/$app_id.metainfo.xml"
else
    out=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli validate rejects the metainfo: $out"
    # The tree check also finds the desktop entry that the metainfo names as its launchable.
    out=$(appstreamcli validate-tree --no-net "$prefix" 2>&1) || fail "appstreamcli validate-tree fails: $out"
    grep -q '<release version="1\.1\.0\.11"' "$metainfo" || fail "metainfo carries no release 1.1.0.11"
    grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
        fail "metainfo does not launch $app_id.desktop"
fi

# Unsigned big-endian number of LENGTH bytes at OFFSET in FILE.
be_number() {
    od -An -tu1 -j "$2" -N "$3" "$1" | awk '{ n = 0; for (i = 1; i <= NF; i++) n = n * 256 + $i; print n }'
}

for size in 16 32 48 64; do
    icon=$prefix/share/icons/hicolor/${size}x${size}/apps/stepwick.png
    if [ ! -f "$icon" ]; then
        fail "no icon ${size}x${size}/apps/stepwick.png"
        continue
    fi
    signature=$(od -An -tx1 -N 8 "$icon" | tr -d ' \n')
    [ "$signature" = "89504e470d0a1a0a" ] || { fail "${size}x${size} icon is not a PNG"; continue; }
    width=$(be_number "$icon" 16 4)
    height=$(be_number "$icon" 20 4)
    [ "$width" = "$size" ] && [ "$height" = "$size" ] ||
        fail "${size}x${size} icon is ${width}x${height}"
    # 8 bits per sample, colour type 6 (RGBA): 32 bits per pixel.
    depth=$(be_number "$icon" 24 1)
    colour=$(be_number "$icon" 25 1)
    [ "$depth" = 8 ] && [ "$colour" = 6 ] ||
        fail "${size}x${size} icon is not 32-bit RGBA (depth $depth, colour type $colour)"
done

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "installed files are complete and valid"
