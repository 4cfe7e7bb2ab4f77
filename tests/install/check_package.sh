#!/usr/bin/env bash
# Builds the Debian package once and checks what apt would install: the control fields, the
# exact file list with owners and modes, lintian's verdict, no test switch in the programs, the
# manual pages and the completion.
# Usage: check_package.sh CPACK CPACK_CONFIG VERSION CHECK_MANUAL
set -u
cpack=$1 config=$2 version=$3 check_manual=$4

. "$(dirname "$0")/../blackbox/checks.sh"
work=$WORK
"$cpack" --config "$config" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; echo "FAIL: cpack did not build the package" >&2; exit 1; }
arch=$(dpkg --print-architecture)
deb=$work/out/stepwick_${version}_$arch.deb
[ -f "$deb" ] || { ls "$work/out" >&2; echo "FAIL: no $deb" >&2; exit 1; }

field() { dpkg-deb -f "$deb" "$1"; }
for pair in Package=stepwick Version=$version Architecture=$arch Section=utils; do
    expect "control field ${pair%%=*}" "$(field "${pair%%=*}")" "${pair#*=}"
done
field Maintainer | grep -q '^[^<]\{1,\} <[^@>]\{1,\}@[^>]\{1,\}>$' || fail "Maintainer '$(field Maintainer)' has no name and mail"
for dep in libc6 libstdc++6 libqt6core6 libqt6widgets6 fonts-arphic-uming fonts-liberation; do
    field Depends | tr ',' '\n' | grep -q "^ *$dep\( \|$\)" || fail "Depends lacks $dep: $(field Depends)"
done
description=$(field Description)
[ "$(printf '%s\n' "$description" | wc -l)" -ge 3 ] || fail "Description has no long part: $description"
printf '%s\n' "$description" | grep -q '批量代码添加器' || fail "Description lacks the Chinese name"

# Every entry: "MODE OWNER PATH" for files, directories only need to be root's and 755.
dpkg-deb -c "$deb" | awk '{ print $1, $2, $6 }' >"$work/list"
bad=$(grep -v '^[-d][rwx-]\{9\} root/root ' "$work/list") && fail "not owned by root: $bad"
bad=$(grep '^d' "$work/list" | grep -v '^drwxr-xr-x ') && fail "directories not 755: $bad"
grep -v '^d' "$work/list" | sort -k3 >"$work/files"
{
    for program in stepwick stepwick-cli; do echo "-rwxr-xr-x root/root ./usr/bin/$program"; done
    for file in applications/example.morlend.Stepwick.desktop bash-completion/completions/stepwick-cli \
        doc/stepwick/changelog.gz doc/stepwick/copyright man/man1/stepwick-cli.1.gz man/man1/stepwick.1.gz \
        metainfo/example.morlend.Stepwick.metainfo.xml; do
        echo "-rw-r--r-- root/root ./usr/share/$file"
    done
    for size in 16 32 48 64; do echo "-rw-r--r-- root/root ./usr/share/icons/hicolor/${size}x$size/apps/stepwick.png"; done
} | sort -k3 >"$work/expected"
diff "$work/expected" "$work/files" >&2 || fail "file list differs (< expected, > packaged)"

lintian --fail-on error "$deb" >"$work/lintian" 2>&1 || { cat "$work/lintian" >&2; fail "lintian reports errors"; }
cat "$work/lintian"

root=$work/root
dpkg-deb -x "$deb" "$root"
# Test hooks live in test builds only: no installed program knows their switches.
for program in stepwick stepwick-cli; do
    for hook in STEPWICK_KILL_AT STEPWICK_SCREENSHOT_DIR; do
        ! grep -qF "$hook" "$root/usr/bin/$program" || fail "usr/bin/$program holds the test switch $hook"
    done
done
bash "$check_manual" "$root/usr/bin/stepwick-cli" "$root/usr/share/man/man1/stepwick-cli.1.gz" \
    "$root/usr/share/man/man1/stepwick.1.gz" || fail "manual pages"

# Completion as bash-completion loads it: options from --help, folders for the folder.
completion() { # WORD... (the last one is being completed)
    (cd "$work/site" && PATH="$root/usr/bin:$PATH" bash -c '
        . /usr/share/bash-completion/bash_completion
        . "$0"
        COMP_WORDS=(stepwick-cli "$@"); COMP_CWORD=$#
        COMP_LINE="${COMP_WORDS[*]}"; COMP_POINT=${#COMP_LINE}
        _stepwick_cli stepwick-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
        printf "%s\n" "${COMPREPLY[@]}" | sort' "$root/usr/share/bash-completion/completions/stepwick-cli" "$@")
}
if [ -f /usr/share/bash-completion/bash_completion ]; then
    mkdir -p "$work/site/pages" && : >"$work/site/pages.txt"
    options=$("$root/usr/bin/stepwick-cli" --help | grep -o -e '--[a-z][a-z-]*' | sort -u)
    [ "$(completion --)" = "$options" ] || fail "completion of -- is not the options of --help: $(completion --)"
    [ "$(completion --head pa)" = pages ] || fail "completion of a folder gives: $(completion --head pa)"
    [ "$(completion --code-file pa)" = "$(printf 'pages\npages.txt')" ] ||
        fail "completion of --code-file gives: $(completion --code-file pa)"
else
    echo "bash-completion is not installed: completion not checked"
fi
finish
