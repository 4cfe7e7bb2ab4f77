#!/usr/bin/env bash
# Black-box checks of stepwick-cli as a script or a user sees it: output, exit status, bytes on disk;
# each run option, and odd systems. The test build, with its kill switch, stops runs at chosen points.
# One table for both systems: given stepwick-cli.exe, the same cases run it under wine on the same
# folders (wine reaches them through drive Z:), but for those marked linux_only, which say why.
set -u
usage="usage: cli_test.sh path/to/stepwick-cli path/to/stepwick-cli-test
       cli_test.sh path/to/stepwick-cli.exe path/to/console_interrupt.exe"
CLI=${1:?$usage}
SYSTEM=linux
[[ $CLI == *.exe ]] && SYSTEM=windows
TEST_CLI=${2:?$usage}
CTRL_C=$TEST_CLI # Windows: the helper that presses Ctrl+C
. "$(dirname "$0")/checks.sh"
trap 'umount "$WORK/d/mnt" 2>/dev/null; clear "$WORK"' EXIT

# The program with its output as it writes it: on Linux under the tests' UTF-8 locale, on Windows
# in the ANSI code page, which wine takes from the locale's name: 936 (GBK), as a Chinese Windows.
# Wine reads the arguments in the locale's charset, so the locale must exist: built here.
mkdir -p "$WORK/locale"
if [ $SYSTEM = windows ] && ! localedef -i zh_CN -f UTF-8 "$WORK/locale/zh_CN.UTF-8" > /dev/null 2>&1; then
    echo "cannot build the locale zh_CN.UTF-8 for wine (package locales missing?)" >&2
    exit 1
fi
# A wine that cannot start this edition's programs says so with status 77: the table is skipped.
if [ $SYSTEM = windows ]; then wine --version > /dev/null || exit; fi
WINE_ZH=(env LOCPATH="$WORK/locale" LC_ALL=zh_CN.UTF-8 wine)
cli_raw() {
    if [ $SYSTEM = linux ]; then "$CLI" "$@"; else "${WINE_ZH[@]}" "$CLI" "$@"; fi
}
# What cli_raw wrote, in UTF-8.
from_system() { if [ $SYSTEM = linux ]; then cat "$@"; else iconv -f GBK -t UTF-8 "$@"; fi; }
# The program with its output and its messages in UTF-8, whichever system runs it.
cli() {
    [ $SYSTEM = linux ] && { "$CLI" "$@"; return; }
    cli_raw "$@" > "$WORK/.out" 2> "$WORK/.err"
    local status=$?
    from_system "$WORK/.out"
    from_system "$WORK/.err" >&2
    return $status
}
# Runs the cases that follow (up to fi) on Linux only; elsewhere says what was left out and why.
linux_only() {
    [ $SYSTEM = linux ] && return 0
    echo "not under wine: $*" >&2
    return 1
}
# 中文 as the system's charset writes it into a file without a mark: UTF-8, or GBK (code page 936).
zw_system='\xe4\xb8\xad\xe6\x96\x87'
[ $SYSTEM = linux ] || zw_system='\xd6\xd0\xce\xc4'
# A path as cmd.exe takes it: wine's drive Z: is /.
winpath() { local p=${1//\//\\}; echo "Z:$p"; }

# Root runs some cases as nobody, who may not enter the build folder (a checkout under /root): it
# runs copies of the programs in the scratch folder, or those cases are skipped.
others=
if [ $SYSTEM = linux ] && [ "$(id -u)" = 0 ]; then
    chmod 0755 "$WORK" && mkdir -m 0755 "$WORK/bin" && cp "$CLI" "$TEST_CLI" "$WORK/bin/" && chmod 0755 "$WORK/bin/"*
    setpriv --reuid=65534 --regid=65534 --clear-groups test -x "$WORK/bin/${CLI##*/}" && others=yes ||
        echo "skipped the cases run as another user: nobody cannot reach $WORK" >&2
fi
as_user() { # PROGRAM ARGS...: the built PROGRAM, run as nobody when root may, as this user otherwise
    local program=$1
    shift
    if [ "$others" ]; then
        setpriv --reuid=65534 --regid=65534 --clear-groups "${PRLIMIT[@]}" "$WORK/bin/${program##*/}" "$@"
    else
        "${PRLIMIT[@]}" "$program" "$@"
    fi
}
PRLIMIT=()
L=$'被处理的文件\n'
T=$'感谢您使用本软件！'

# --- log text, exit status, defaults (foot, txt) ---
fresh a.txt 'a\r\n' B.TXT b c.htm h
expect "dry run: the list in run order, exit 0" "$(cli --dry-run --encoding auto --code x "$WORK/d"; echo $?)" $'a.txt\nB.TXT\n0'
out=$(cli --code '<x>' "$WORK/d")
expect "defaults: exit and log" "$?:$out" "0:${L}a.txt"$'\nB.TXT\n\n处理了2个文件。\n'"$T"
holds "foot bytes" "$WORK/d/a.txt" 'a\r\n<x>\r\n'
expect "nothing matched; output ends in one line break" "$(cli --code x --ext none "$WORK/d"; echo .)" \
    "${L}"$'\n处理了0个文件。\n'"$T"$'\n.'

# --- head, code from standard input and from a file: only the last line's own break goes ---
fresh a.htm 'old\n'
printf 'l1\nl2\n\n' | cli --head --ext HTM "$WORK/d" > /dev/null
holds "stdin code ending in two line breaks, head" "$WORK/d/a.htm" 'l1\r\nl2\r\n\r\nold\n'
printf 'f1\r\n' > "$WORK/code"
cli --head --ext htm --code-file "$WORK/code" "$WORK/d" > /dev/null
holds "code file, head" "$WORK/d/a.htm" 'f1\r\nl1\r\nl2\r\n\r\nold\n'
cli --ext htm --code $'t\r\n' "$WORK/d" > /dev/null && cli --head --ext htm --code $'h\r\n' "$WORK/d" > /dev/null
holds "a code ending in CR LF: no blank line, foot and head" "$WORK/d/a.htm" 'h\r\nf1\r\nl1\r\nl2\r\n\r\nold\nt\r\n'

# --- refusals: exit 2, one message naming the argument or file and the reason, nothing touched ---
fresh a.txt a
mkdir "$WORK/sub"
# Rows on descriptor 3: what | the message ($WORK as the scratch folder) | the command with its
# arguments and redirections (standard input as the row gives it). Not in $( ): a closed input
# would take the pipe's number.
refusals() {
    while IFS='|' read -r -u 3 what want command; do
        eval "$command" '> "$WORK/out" 2> "$WORK/err" 3<&-'
        expect "$what" "$?:$(cat "$WORK/out"):$(head -n 1 "$WORK/err")" "2::stepwick-cli: ${want//'$WORK'/$WORK}"
    done
}
# Code files no text file should hold: the next run could not find them again (NUL) or nobody sees them.
: > "$WORK/empty"
printf '\r\n\r\n' > "$WORK/breaks"
printf 'a\0b' > "$WORK/zeros"
printf '\xef\xbb\xbfa\xc2\x85' > "$WORK/code"
# What a folder, a type, a charset, a mode, a replacement, a marker, an exclusion or a code cannot
# be. A comment the code leaves open would hide the tag in front of which it stands; closed, or
# behind the tag, it hides nothing. The last row, a usage error, says where help is.
refusals 3<<'ROWS'
no folder|no folder given|cli
unknown charset|--encoding: the character set NOPE is not known to the system|cli --encoding NOPE --code x "$WORK/d"
unknown argument|unknown option: -dashdir|cli --code X -dashdir
missing argument|missing argument for --code|cli --code
empty folder name|the folder name is empty|cli --code x ""
two folders|only one folder may be given, not also $WORK/d|cli --code x "$WORK/d" "$WORK/d"
slash in type|the file type may not hold '/': a/b|cli --ext a/b --code x "$WORK/d"
backslash in type|the file type may not hold '\\': a\\b|cli --ext 'a\b' --code x "$WORK/d"
empty charset|--encoding takes auto or the name of a character set, not an empty one|cli --encoding '' --code x "$WORK/d"
head with foot, in either order|--head and --foot cannot be combined|cli --foot --head --code x "$WORK/d"
once with remove|--once and --remove cannot be combined|cli --remove --once --code x "$WORK/d"
after-preamble with foot|--after-preamble and --foot cannot be combined (--after-preamble places a head)|cli --foot --after-preamble --code x "$WORK/d"
unknown line break|--eol takes crlf, lf or match, not cr|cli --eol cr --code x "$WORK/d"
check with remove|--check and --remove cannot be combined (--remove --dry-run lists the files holding the code)|cli --check --remove --code x "$WORK/d"
before with after|--before and --after cannot be combined|cli --before '</body>' --after '<body>' --code x "$WORK/d"
head with a marker|--head and --before cannot be combined|cli --head --before '</body>' --code x "$WORK/d"
foot with a marker|--foot and --after cannot be combined|cli --after '<body>' --foot --code x "$WORK/d"
after-preamble with a marker|--after-preamble and --before cannot be combined (--after-preamble places a head)|cli --after-preamble --before x --code x "$WORK/d"
empty marker|--before: the marker is empty|cli --before '' --code x "$WORK/d"
marker with a line break|--after: the marker holds a line break|cli --after $'<body>\n' --code x "$WORK/d"
replace with once|--replace and --once cannot be combined (a second --replace run changes nothing)|cli --once --replace y --code x "$WORK/d"
replace with remove|--replace and --remove cannot be combined|cli --replace y --remove --code x "$WORK/d"
replace with check|--replace and --check cannot be combined (--check with the new code lists the files that lack it)|cli --check --replace y --code x "$WORK/d"
empty old code|--replace: the old code is empty|cli --replace '' --code x "$WORK/d"
old code equal to the new|the old code and the new one are the same|cli --replace $'x\r\n' --code x "$WORK/d"
empty item in a list of types|--ext: the file types hold an empty one|cli --ext 'htm,,php' --code x "$WORK/d"
absolute exclusion|--exclude: the exclusion "/etc" is not relative to the folder|cli --exclude /etc --code x "$WORK/d"
exclusion above the folder|--exclude: the exclusion "a/../../b" is not relative to the folder|cli --exclude a/../../b --code x "$WORK/d"
code leaving a comment open before a tag|the code opens an HTML comment (<!--) that it does not close: it would hide </BODY>|cli --before '</BODY>' --code '<!-- a --> <!-- b' "$WORK/d"
empty code, --head|the code is empty|cli --head --code '' "$WORK/d"
empty code, --check|the code is empty|cli --check --code '' "$WORK/d"
empty code file, dry run|the code is empty|cli --dry-run --code-file "$WORK/empty" "$WORK/d"
empty standard input, remove|the code is empty|cli --remove "$WORK/d" < "$WORK/empty"
standard input of one line break|the code is empty|cli --foot "$WORK/d" <<< ''
line breaks typed|the code holds nothing but line breaks|cli --code $'\n\n' "$WORK/d"
line breaks in a code file, once|the code holds nothing but line breaks|cli --once --code-file "$WORK/breaks" "$WORK/d"
NUL in a code file|the code holds the control character U+0000 (of those, only tab, CR and LF may be in it)|cli --code-file "$WORK/zeros" "$WORK/d"
NUL from standard input, remove|the code holds the control character U+0000 (of those, only tab, CR and LF may be in it)|cli --remove "$WORK/d" < "$WORK/zeros"
form feed, check|the code holds the control character U+000C (of those, only tab, CR and LF may be in it)|cli --check --code $'a\fb' "$WORK/d"
escape|the code holds the control character U+001B (of those, only tab, CR and LF may be in it)|cli --head --code $'\e[31mred' "$WORK/d"
DEL|the code holds the control character U+007F (of those, only tab, CR and LF may be in it)|cli --code $'a\x7f' "$WORK/d"
C1 control (NEL)|the code holds the control character U+0085 (of those, only tab, CR and LF may be in it)|cli --code-file "$WORK/code" "$WORK/d"
unknown option|unknown option: --bogus|cli --bogus "$WORK/d"
ROWS
expect "usage error: where help is" "$(tail -n 1 "$WORK/err")" "Try 'stepwick-cli --help' for more information."
if linux_only "refusals in the system's own words, bytes that are no text, closed and odd streams, flock"; then
refusals 3<<'ROWS'
missing folder, named as typed|$WORK/nowhere: No such file or directory|"$CLI" --code x "$WORK/nowhere"
code not UTF-8, dry run|the code is not valid UTF-8 text|"$CLI" --dry-run --code $'\xff\xfe' "$WORK/d"
missing code file, dry run|cannot read the code from $WORK/nofile: No such file or directory|"$CLI" --dry-run --code-file "$WORK/nofile" "$WORK/d"
code file a folder|cannot read the code from $WORK/sub: Is a directory|"$CLI" --code-file "$WORK/sub" "$WORK/d"
code file read error|cannot read the code from /proc/self/mem: Input/output error|"$CLI" --code-file /proc/self/mem "$WORK/d"
standard input closed|cannot read the code from standard input: standard input is closed|"$CLI" "$WORK/d" <&-
standard input a folder|cannot read the code from standard input: Is a directory|"$CLI" "$WORK/d" < "$WORK/sub"
another run holds the folder, head|$WORK/d: another run is changing this folder|flock "$WORK/d" "$CLI" --head --code x "$WORK/d"
another run holds the folder, dry run|$WORK/d: another run is changing this folder|flock "$WORK/d" "$CLI" --dry-run --code x "$WORK/d"
ROWS
# Started in a folder holding files named like its libraries, it loads the system's own.
mkdir "$WORK/libs" && touch "$WORK/libs/libc.so.6" "$WORK/libs/libstdc++.so.6" "$WORK/libs/libgcc_s.so.1"
expect "libraries not taken from the working folder" "$(cd "$WORK/libs" && "$CLI" --dry-run --code x "$WORK/d" 2>&1; echo $?)" $'a.txt\n0'
# Without a display, make run stops before it builds and says what to do instead.
env -u DISPLAY -u WAYLAND_DISPLAY make -s -C "$(dirname "$0")/../.." run BUILD="$WORK/nobuild" > /dev/null 2> "$WORK/err"
expect "make run without a display" "$?:$(test -e "$WORK/nobuild"; echo $?):$(grep -c "xvfb-run make run" "$WORK/err")" "2:1:1"
fi
LC_ALL=C.UTF-8 cli --code '中文' --code-file "$WORK/code" "$WORK/d" > /dev/null 2>&1
expect "Chinese code as an argument, before a code file" "$?" 0
holds "nothing touched by refused runs" "$WORK/d/a.txt" "a$zw_system"'\r\n'

# --- replace, beside a marker, several types, exclusions: each run's log, status and bytes ---
mkdir -p "$WORK/m/vendor" "$WORK/m/sub"
page='<html>\r\n<HEAD>\r\n</head>\r\n<body class="x">\r\n<p>\r\n</BODY>\r\n</html>\r\n'
for f in a.htm b.html sub/c.php vendor/d.php e.min.php; do printf "$page" > "$WORK/m/$f"; done
printf '<p>no body</p>\n<!-- </body> -->\n' > "$WORK/m/f.shtml"
old='<script src="/s1.js"></script>' new='<script src="/s2.js"></script>'
scope=(--ext htm,shtml,php -r --exclude 'vendor/*' --exclude '*.min.php')
sep=/ # in the log, as printf writes it
[ $SYSTEM = linux ] || sep='\\'

# The command, its status, its log; then each file's bytes. Rows read at run time: a page's bytes
# are printf formats.
while IFS='|' read -r what args status log; do
    eval "set -- $args"
    log=${log//'${sep}'/$sep}
    out=$(cli "$@" "${scope[@]}" "$WORK/m" 2>> "$WORK/errs")
    expect "$what: status and log" "$?:$out" "$status:$L$(printf "$log")"$'\n'"$T"
done <<'ROWS'
before </body>, a file without it fails|--before '</body>' --code "$old"|1|a.htm\nb.html\nf.shtml（未能处理：no </body> found）\nsub${sep}c.php\n\n处理了3个文件。\n有1个文件未能处理。
once finds it again|--before '</body>' --once --code "$old"|1|a.htm（已含此代码，未再添加）\nb.html（已含此代码，未再添加）\nf.shtml（未能处理：no </body> found）\nsub${sep}c.php（已含此代码，未再添加）\n\n处理了0个文件。\n有3个文件已含此代码，未再添加。\n有1个文件未能处理。
replace old by new|--before '</body>' --replace "$old" --code "$new"|1|a.htm\nb.html\nf.shtml（未能处理：no </body> found）\nsub${sep}c.php\n\n处理了3个文件。\n有1个文件未能处理。
a second replacement changes nothing|--before '</body>' --replace "$old" --code "$new"|1|a.htm（already holds the new code）\nb.html（already holds the new code）\nf.shtml（未能处理：no </body> found）\nsub${sep}c.php（already holds the new code）\n\n处理了0个文件。\n有3个文件已含此代码，未再添加。\n有1个文件未能处理。
head: neither code there|--head --replace "$old" --code "$new" --exclude '*.shtml'|0|a.htm（lacks the old code）\nb.html（lacks the old code）\nsub${sep}c.php（lacks the old code）\n\n处理了0个文件。\n3 files lack the old code.
ROWS
holds "the new code on its own line before the last </body>" "$WORK/m/sub/c.php" \
    '<html>\r\n<HEAD>\r\n</head>\r\n<body class="x">\r\n<p>\r\n<script src="/s2.js"></script>\r\n</BODY>\r\n</html>\r\n'
expect "check with the new code" "$(cli --check --before '</body>' --code "$new" --ext htm "$WORK/m"; echo $?)" $'0'
cli --after '<head>' --code '<meta a>' --ext htm "$WORK/m" > /dev/null
cli --after '<head>' --remove --code '<meta a>' --ext htm "$WORK/m" > /dev/null
cli --before '</body>' --remove --code "$new" "${scope[@]}" "$WORK/m" > /dev/null 2>> "$WORK/errs"
for f in a.htm b.html sub/c.php; do holds "after, then removals: every byte back ($f)" "$WORK/m/$f" "$page"; done
expect "a file without the marker (one in a comment is none): named on standard error by each run" \
    "$(grep -c '^stepwick-cli: .*f\.shtml: no </body> found$' "$WORK/errs")" 5
holds "a file without the marker: untouched" "$WORK/m/f.shtml" '<p>no body</p>\n<!-- </body> -->\n'

# --- standard streams: a closed one never receives the log; a log that cannot be written is exit 3,
# and every file is changed all the same ---
if linux_only "all three streams closed"; then
"$CLI" --code x "$WORK/d" <&- >&- 2>&-
expect "closed streams: the log not written" "$?" 3
printf r > "$WORK/d/r.txt" && chmod 0444 "$WORK/d/r.txt"
"$CLI" --code y "$WORK/d" >&- 2> "$WORK/err"
expect "closed output and a failed file: exit 3, said after the run" "$?:$(cat "$WORK/err")" \
    "3:stepwick-cli: $WORK/d/r.txt: read-only file"$'\n'"stepwick-cli: write error: Bad file descriptor"
rm -f "$WORK/d/r.txt"
holds "closed streams: the files get the code, not the log" "$WORK/d/a.txt" 'a中文\r\nx\r\ny\r\n'
fi
fresh; for i in $(seq 101 400); do : > "$WORK/d/f$i.txt"; done
cli_raw --code c "$WORK/d" >&- 2> "$WORK/err"
expect "closed output: said after the run" "$?:$(from_system "$WORK/err")" "3:stepwick-cli: write error: Bad file descriptor"
for args in --help --version "--dry-run --code y $WORK/d" "--code f $WORK/d"; do
    cli_raw $args > /dev/full 2> "$WORK/err"
    expect "full disk, $args: exit 3, said once" "$?:$(from_system "$WORK/err")" "3:stepwick-cli: write error: No space left on device"
done
expect "closed and full output: every file changed" "$(cat "$WORK"/d/* | sort | uniq -c)" "$(printf '%7d c\r\n%7d f\r' 300 300)"
# In a terminal, a Windows console under wine, the log is shown as text: Chinese, also where the
# code page holds none (wine takes 1252 from C.UTF-8).
fresh a.txt a
out=$(script -qec "$(printf '%q ' env LC_ALL=C.UTF-8 $([ $SYSTEM = windows ] && echo wine) "$CLI" --code x "$WORK/d")" \
    /dev/null < /dev/null | sed 's/\x1b\[[0-9;?]*[a-zA-Z]//g' | tr -d '\r')
expect "a terminal shows the log in Chinese" "$out" "${L}a.txt"$'\n\n处理了1个文件。\n'"$T"
# Output into files of the run's folder as a shell redirects it: on Windows cmd's >, as users do.
into_run_files() {
    if [ $SYSTEM = linux ]; then
        "$CLI" "$@" > "$WORK/d/changes.txt" 2> "$WORK/d/errors.txt"
    else
        "${WINE_ZH[@]}" cmd /c "$(winpath "$CLI") $* > $(winpath "$WORK/d/changes.txt") 2> $(winpath "$WORK/d/errors.txt")"
    fi
}
fresh a.txt a
into_run_files --dry-run --head --code h "$WORK/d"
expect "dry run into files of the run: not listed, named as failed" \
    "$?:$(cat "$WORK/d/changes.txt"):$(sed 's|.*[/\\]||' "$WORK/d/errors.txt")" \
    "1:a.txt:changes.txt: it is this run's own output"$'\n'"errors.txt: it is this run's own output"
into_run_files --code h "$WORK/d"
expect "log and messages into files of the run: both left alone" \
    "$?:$(from_system "$WORK/d/changes.txt"):$(sed 's|.*[/\\]||' "$WORK/d/errors.txt")" \
    "1:${L}a.txt"$'\nchanges.txt（未能处理：it is this run\'s own output）\nerrors.txt（未能处理：it is this run\'s own output）\n\n处理了1个文件。\n有2个文件未能处理。\n'"$T:changes.txt: it is this run's own output"$'\n'"errors.txt: it is this run's own output"

# A Unix shell's redirection: under wine the stream tells its file's index but not its volume.
fresh a.txt a
cli_raw --head --code h "$WORK/d" > "$WORK/d/changes.txt" 2> /dev/null
expect "log into a file of the run by a Unix shell: left alone" \
    "$?:$(from_system "$WORK/d/changes.txt" | grep -c "^changes.txt（未能处理：it is this run's own output）$")" 1:1

# --- failures and names: exit 1, one stderr line per failure, the reason in the log; names shown
# with escapes, one line each, no control sequence reaching the terminal ---
if linux_only "names with control characters, backslashes and bytes that are no text"; then
fresh $'tab\there\033[31m\n\xc2\x9b.txt' n $'\xff\\.txt' r 'back\nslash.txt' b
chmod 0444 "$WORK/d/"$'\xff\\.txt'
out=$("$CLI" --head --code x "$WORK/d/" 2> "$WORK/err")
expect "failure: exit 1, escaped names in the log" "$?:$out" \
    "1:${L}"'back\\nslash.txt'$'\n''tab\there\033[31m\n\302\233.txt'$'\n''\377\\.txt'$'（未能处理：read-only file）\n\n处理了2个文件。\n有1个文件未能处理。\n'"$T"
expect "failure on standard error, escaped" "$(cat "$WORK/err")" "stepwick-cli: $WORK/d/\\377\\\\.txt: read-only file"
out=$("$CLI" --dry-run --foot --code x "$WORK/d/" 2> "$WORK/err")
expect "dry run: a read-only file is not listed but named" "$?:$out:$(cat "$WORK/err")" \
    "1:"'back\\nslash.txt'$'\n''tab\there\033[31m\n\302\233.txt'":stepwick-cli: $WORK/d/\\377\\\\.txt: read-only file"
holds "read-only untouched" "$WORK/d/"$'\xff\\.txt' 'r'
holds "the file keeps its name" "$WORK/d/"$'tab\there\033[31m\n\xc2\x9b.txt' 'x\r\nn\r\n'
fi

# A link to a file outside is never followed: Linux passes it over, wine shows it as a plain file
# and it fails with its reason.
fresh plain.txt p
mkdir -p "$WORK/away" && printf 'o\r\n' > "$WORK/away/o.txt" && ln -s ../away/o.txt "$WORK/d/flink.txt"
status=0 link_line='' failed_line=''
[ $SYSTEM = windows ] && status=1 link_line=$'flink.txt（未能处理：symbolic link, not followed）\n' failed_line=$'有1个文件未能处理。\n'
out=$(cli --foot --code FOOT "$WORK/d" 2> /dev/null)
expect "a link to a file outside: the log" "$?:$out" "$status:${L}${link_line}plain.txt"$'\n\n处理了1个文件。\n'"$failed_line$T"
holds "a link to a file outside: that file untouched" "$WORK/away/o.txt" 'o\r\n'

# --- a folder that refuses new files: the message blames the folder, not the writable target ---
if [ "$others" ]; then
    fresh a.txt a
    chmod 0666 "$WORK/d/a.txt"; chmod 0555 "$WORK/d"
    as_user "$CLI" --head --code x "$WORK/d" > /dev/null 2> "$WORK/err"
    expect "temporary file refused: says where" "$?:$(cat "$WORK/err")" \
        "1:stepwick-cli: $WORK/d/a.txt: cannot create a temporary file in $WORK/d: Permission denied"
    chmod 0755 "$WORK/d"
else
    echo "skipped the temporary-file check: needs root to run as another user, and a place for the program" >&2
fi

# --- the system's character set: under a UTF-8 locale a file that is not UTF-8 takes an ASCII code
# only; GBK, a locale built here into a private folder, or the ANSI code page 936 of a Chinese
# Windows, reads the arguments and writes the log in GBK. (Each encoding's bytes: the core's tables.)
if linux_only "a UTF-8 system charset (no ANSI code page here is UTF-8)"; then
fresh a.txt 'old\r\n' gb.gbk '\xd6\xd0\r\n' u8.txt '\xe4\xb8\xad\r\n'
LC_ALL=C.UTF-8 "$CLI" --head --ext gbk --code 'x' "$WORK/d" > /dev/null
holds "UTF-8 locale: an ASCII code goes into a file that is not UTF-8" "$WORK/d/gb.gbk" 'x\r\n\xd6\xd0\r\n'
LC_ALL=C.UTF-8 "$CLI" --head --ext gbk --once --encoding GBK --code '中文' "$WORK/d" > /dev/null
out=$(LC_ALL=C.UTF-8 "$CLI" --check --head --ext '*' --encoding GBK --code '中文' "$WORK/d" 2> /dev/null)
expect "UTF-8 locale: --check with --encoding GBK compares in GBK" "$?:$out" $'1:a.txt\nu8.txt'
fi
if [ $SYSTEM = windows ] || localedef -i zh_CN -f GBK "$WORK/locale/zh_CN.GBK" > /dev/null 2>&1; then
    gbk() { if [ $SYSTEM = linux ]; then LOCPATH=$WORK/locale LC_ALL=zh_CN.GBK "$CLI" "$@"; else cli_raw "$@"; fi; }
    # 中文 typed in the system's charset; Windows hands every program its arguments in UTF-16.
    zw=$'\xd6\xd0\xce\xc4'
    [ $SYSTEM = linux ] || zw=中文
    fresh a.txt 'old\r\n' u8.txt '\xe4\xb8\xad\r\n'
    gbk --head --code "$zw" "$WORK/d" > /dev/null
    holds "GBK locale: a file without a mark gets the code in GBK" "$WORK/d/a.txt" '\xd6\xd0\xce\xc4\r\nold\r\n'
    holds "GBK locale: a UTF-8 file gets it in UTF-8" "$WORK/d/u8.txt" '\xe4\xb8\xad\xe6\x96\x87\r\n\xe4\xb8\xad\r\n'
    if [ $SYSTEM = linux ]; then
        gbk --head --code $'\x81' "$WORK/d" > /dev/null 2> "$WORK/err"
        expect "GBK locale: code not valid in GBK is refused" "$?:$(grep -c "not valid GBK" "$WORK/err")" 2:1
    fi
    printf '\xef\xbb\xbf\xf0\x9f\x98\x80' > "$WORK/code"
    gbk --head --code-file "$WORK/code" "$WORK/d" > /dev/null 2> "$WORK/err"
    expect "GBK locale: code without a GBK form is refused" \
        "$?:$(grep -c "cannot be written in $([ $SYSTEM = linux ] && echo GBK || echo CP936)" "$WORK/err")" 2:1
    holds "GBK locale: refused codes touched nothing" "$WORK/d/a.txt" '\xd6\xd0\xce\xc4\r\nold\r\n'
    # The whole log in GBK: fixed texts, a Chinese name, failures in our words and in the system's
    # (an immutable file, where one can be made; else that file is changed).
    fresh "$([ $SYSTEM = linux ] && echo $'\xd6\xd0' || echo 中).txt" '' i.txt '' r.txt r
    chmod 0444 "$WORK/d/r.txt"
    line_i=$'i.txt\n' failed=1
    if [ $SYSTEM = linux ] && chattr +i "$WORK/d/i.txt" 2> /dev/null; then
        line_i=$'i.txt（未能处理：不允许的操作）\n' failed=2
    else
        echo "skipped the system's reason in GBK: chattr +i needs Linux, root and ext2/3/4" >&2
    fi
    gbk --code x "$WORK/d" > "$WORK/out" 2> /dev/null
    chattr -i "$WORK/d/i.txt" 2> /dev/null
    expect "GBK: the log is GBK throughout" "$(iconv -f GBK -t UTF-8 "$WORK/out")" \
        "${L}${line_i}r.txt"$'（未能处理：read-only file）\n中.txt\n\n'"处理了$((3 - failed))个文件。"$'\n'"有${failed}个文件未能处理。"$'\n'"$T"
else
    echo "skipped the GBK checks: localedef cannot build zh_CN.GBK here (package locales missing?)" >&2
fi

expect "help and version: exit 0" "$(cli --help > /dev/null && cli --version; echo $?)" $'stepwick-cli 1.01.0011\n0'

# --- one lock for both systems: a Linux run and a wine run on one folder exclude each other. The
# first run's log fills the pipe it writes to: it holds the folder until the test reads the rest ---
if [ $SYSTEM = windows ] && [ -x "${STEPWICK_LINUX_CLI:-}" ]; then
    fresh
    long=$(printf 'x%.0s' $(seq 100))
    for i in $(seq 1000); do printf 'o\r\n' > "$WORK/d/$long$i.txt"; done
    beside_first "$STEPWICK_LINUX_CLI" --code F "$WORK/d" -- cli --code S "$WORK/d"
    expect "Linux run first: wine's is refused" "$held_status:$(sed 's|.*: ||' "$WORK/err")" "2:another run is changing this folder"
    beside_first cli_raw --code F "$WORK/d" -- "$STEPWICK_LINUX_CLI" --code S "$WORK/d"
    expect "wine's run first: the Linux one is refused" "$held_status:$(sed 's|.*: ||' "$WORK/err")" "2:another run is changing this folder"
    expect "both first runs changed every file once, the refused ones none; no lock file left" \
        "$(cat "$WORK/d"/* | sort | uniq -c | tr -s ' '):$(ls -A "$WORK/d" | grep -c lock)" $' 2000 F\r\n 1000 o\r:0'
elif [ $SYSTEM = windows ]; then
    echo "skipped the run beside the other system's: needs the Windows build and the Linux one (build/stepwick-cli)" >&2
fi

# --- check: names what lacks the code, exit 1; 0 when all hold it or nothing matched ---
fresh b.txt 'x\r\nb\r\n' c.txt 'c\r\n'
out=$(cli --check --dry-run --head --code x "$WORK/d")
expect "check, a dry run besides: lists what lacks it, exit 1" "$?:$out" "1:c.txt"
holds "check: changed nothing" "$WORK/d/c.txt" 'c\r\n'
cli --check --foot --code x --ext none "$WORK/d" > /dev/null
expect "check: nothing matched: exit 0" "$?" 0
cli --head --once --code x "$WORK/d" > /dev/null
chmod 0444 "$WORK/d/b.txt"
out=$(cli --check --head --code x "$WORK/d")
expect "once, then check: all hold it, a read-only file too" "$?:$out" "0:"

# --- remove: the inverse, files without the code named and not counted ---
chmod 0644 "$WORK/d/b.txt"
printf 'c\r\n' > "$WORK/d/c.txt"
out=$(cli --head --remove --code x "$WORK/d")
expect "remove: log" "$?:$out" "0:${L}"$'b.txt\nc.txt（未含此代码）\n\n处理了1个文件。\n'"$T"

# --- after-preamble and eol: a script with a code in front still runs, with LF breaks ---
fresh s.sh '#!/bin/sh\necho "$PWD"\n'
cli --head --after-preamble --eol match --ext sh --code 'cd /tmp' "$WORK/d" > /dev/null
holds "preamble + match" "$WORK/d/s.sh" '#!/bin/sh\ncd /tmp\necho "$PWD"\n'
cli --foot --eol lf --code $'1\n2' --ext sh "$WORK/d" > /dev/null
expect "eol lf: foot" "$(tail -c 4 "$WORK/d/s.sh" | od -An -c | tr -s ' ')" " 1 \n 2 \n"

# --- a code file by its byte-order mark, whatever the locale ---
fresh g.txt 'old\r\n'
printf '\xff\xfe\x2d\x4e\x87\x65' > "$WORK/code16"
LC_ALL=C cli --code-file "$WORK/code16" "$WORK/d" > /dev/null
holds "UTF-16 code file by its mark" "$WORK/d/g.txt" "old\\r\\n$zw_system"'\r\n'

# --- an interrupt stops a run between two files, exit 130: SIGINT, or Ctrl+C pressed in a Windows
# console (under wine: a terminal by script(1), in which a helper presses it; wine cannot send
# Ctrl+Break to a process group) ---
many=$([ $SYSTEM = linux ] && echo 40000 || echo 3000)
fresh
for i in $(seq -w 1 $many); do : > "$WORK/d/f$i.txt"; done
changed() { grep -rl "$1" "$WORK/d" | sed 's|.*/||' | LC_ALL=C sort; }
if [ $SYSTEM = linux ]; then
    "$CLI" --head --code s "$WORK/d" > "$WORK/log" 2>&1 &
    pid=$!
    for _ in $(seq 3000); do [ "$(wc -l < "$WORK/log")" -gt 2 ] && break; sleep 0.1; done
    kill -INT "$pid"
    wait "$pid"
else
    script -qec "$(printf '%q ' "${WINE_ZH[@]}" "$CTRL_C" "$WORK/log" "$CLI" --head --code s "$WORK/d")" \
        /dev/null > /dev/null
fi
expect "interrupt: exit 130" "$?" 130
logged=$(grep -a '^f' "$WORK/log")
n=$(echo "$logged" | wc -l)
expect "interrupt: stopped early, exactly the logged files changed" "$([ "$n" -lt $many ] && changed s)" "$logged"
expect "interrupt: count, then the cancelled line" "$(tail -n 3 "$WORK/log" | from_system)" \
    "处理了${n}个文件。"$'\n已取消，其余文件未作改动。\n'"$T"

if ! linux_only "open-file and process limits, /proc, memory by /usr/bin/time, signals by kill," \
    "SIGPIPE, 40000 files (the core's count, slow under wine)"; then
    finish
    exit
fi
# --- many files, the interrupted run's: a closed pipe stops a run between two files; counts past 32767 ---
"$CLI" --code p "$WORK/d" 2> "$WORK/err" | head -n 2 > /dev/null
expect "closed pipe: exit 3, said once" "${PIPESTATUS[0]}:$(cat "$WORK/err")" "3:stepwick-cli: write error: Broken pipe"
n=$(changed p | wc -l)
expect "closed pipe: stopped early, the first files changed, the rest untouched" \
    "$([ "$n" -lt 40000 ] && changed p)" "$(ls "$WORK/d" | head -n "$n")"
expect "40000 files counted" "$("$CLI" --code x "$WORK/d" | tail -n 2 | head -n 1)" "处理了40000个文件。"
holds "last file changed" "$WORK/d/f40000.txt" 'x\r\n'

# --- odd systems: a low open-file limit, no /proc, a large code: every file changed, nothing left
# behind, memory bounded by the code's size ---
files() { # N files holding "x" CR LF
    fresh; for i in $(seq 1 "$1"); do printf 'x\r\n' > "$WORK/d/f$i.txt"; done
}
leftovers() { ls -A "$WORK/d" | grep -c '^\.stepwick-'; }

# ulimit -n 40 sets the soft and the hard limit: the run must not ask for more.
files 300
for pos in head foot; do
    out=$( (ulimit -n 40 && "$CLI" --$pos --code C "$WORK/d") 2>&1)
    expect "ulimit -n 40, $pos" "$?:$(tail -2 <<<"$out" | head -1)" "0:处理了300个文件。"
done
holds "ulimit -n 40: bytes" "$WORK/d/f300.txt" 'C\r\nx\r\nC\r\n'

# Under AddressSanitizer (make sanitize) the leak check needs a thread of its own, the sanitizer
# reads its options and the memory map from /proc, and its shadow memory counts in the program's
# size: no threads goes without the leak check, no /proc and the memory bounds are for the plain build.
NO_LEAK_CHECK="${ASAN_OPTIONS:-}:detect_leaks=0"
within() { [ -n "${ASAN_OPTIONS:-}" ] || [ "$1" -le "$2" ] && echo yes || echo "$1"; }

# No thread to be had (one process at most; root goes as another user, whom the limit binds): the run
# goes on in one thread. Foot on a disk said to be busy flushes file by file (a kill switch that never fires).
chmod -R a+rwX "$WORK/d"
PRLIMIT=(prlimit --nproc=1)
for pos in head foot; do
    out=$(ASAN_OPTIONS=$NO_LEAK_CHECK STEPWICK_KILL_UNWRITTEN=$([ $pos = foot ] && echo 1073741824 || echo 0) \
        as_user "$TEST_CLI" --$pos --code T "$WORK/d" 2>&1)
    expect "no threads, $pos" "$?:$(grep -c '^f' <<<"$out"):$(tail -2 <<<"$out" | head -1)" "0:300:处理了300个文件。"
done
PRLIMIT=()
holds "no threads: bytes" "$WORK/d/f300.txt" 'T\r\nC\r\nx\r\nC\r\nT\r\n'

if [ -z "${ASAN_OPTIONS:-}" ] && [ "$(id -u)" = 0 ] && unshare -m true 2>/dev/null; then
    files 20
    out=$(unshare -m sh -c 'umount /proc && exec "$0" --head --code P "$1"' "$CLI" "$WORK/d" 2>&1)
    expect "no /proc" "$?:$(tail -2 <<<"$out" | head -1):$(leftovers)" "0:处理了20个文件。:0"
    holds "no /proc: bytes" "$WORK/d/f7.txt" 'P\r\nx\r\n'
else
    echo "SKIP: no /proc case needs root, unshare and a build without AddressSanitizer"
fi

# A 20 MiB code over two files takes at most three times its size plus 32 MiB, also where a
# UTF-16 file needs it in another form, and where a file is searched for it.
files 2
printf '\xff\xfeu\0' > "$WORK/d/u16.txt"
head -c 20M /dev/zero | tr '\0' 'a' > "$WORK/code"
for args in --head --foot "--head --once"; do
    kb=$( { /usr/bin/time -f '%M' "$CLI" $args --code-file "$WORK/code" "$WORK/d" > /dev/null; } 2>&1 | tail -1)
    expect "20 MiB code, $args: KiB of memory within bounds" "$(within "$kb" $(((3 * 20 + 32) * 1024)))" yes
done
expect "20 MiB code: size of f1.txt, nothing left" "$(stat -c %s "$WORK/d/f1.txt"):$(leftovers)" "$((2 * (20 * 1024 * 1024 + 2) + 3)):0"
# The same for a 40 MiB code that a mixed folder needs in several forms (UTF-16, UTF-8 and GBK with
# LF breaks), under either locale.
fresh u16.txt '\xff\xfeu\0' u8.txt '\xe4\xb8\xad\r\n' gb.txt '\xd6\xd0\r\n'
head -c 40M /dev/zero | tr '\0' 'a' > "$WORK/code"
for loc in C.UTF-8 zh_CN.GBK; do
    [ $loc = C.UTF-8 ] || [ -d "$WORK/locale/$loc" ] || continue
    LOCPATH=$WORK/locale LC_ALL=$loc /usr/bin/time -o "$WORK/kb" -f '%M' "$CLI" --check --head --eol lf \
        --code-file "$WORK/code" "$WORK/d" > /dev/null 2>&1
    kb=$(tail -n 1 "$WORK/kb")
    expect "40 MiB code in three forms, $loc: KiB of memory within bounds" \
        "$(within "$kb" $(((3 * 40 + 32) * 1024)))" yes
done

# --- signals at known points: the test build raises one just before chosen file-system calls ---
signalled() { # SIGNAL CALLS: the exit status, the log's last line but one, a.txt's first byte
    fresh a.txt 'a\r\n' b.txt 'b\r\n'
    out=$(STEPWICK_KILL_SIGNAL=$1 STEPWICK_KILL_AT=$2 "$TEST_CLI" --head --code s "$WORK/d" 2> /dev/null)
    echo "$?:$(tail -n 2 <<<"$out" | head -n 1):$(head -c 1 "$WORK/d/a.txt")"
}
calls=0 # in a whole run: one less than the first kill that does not land
for k in $(seq 1 500); do
    [[ $(signalled 9 "$k") == 137:* ]] || { calls=$((k - 1)); break; }
done 2> /dev/null
expect "a first signal stops the run between two files" "$(signalled 2 1)" "130:已取消，其余文件未作改动。:a"
expect "a second signal of the kind ends the program at once" "$(signalled 15 1,2)" "143::a"
expect "a signal after the last file: the run is complete" "$(signalled 1 $calls)" "0:处理了2个文件。:s"

finish
