#!/usr/bin/env bash
# Installs the build into a temporary folder (cmake --install, DESTDIR,
# prefix /usr as the package has it) and checks what arrives: exactly the
# files a package must hold (none from tests/ or bench/), each there, the
# programs runnable, each icon as large as its folder says, the desktop
# entry's program and icon installed, manual pages made from the programs'
# own --help, the metainfo's release the programs' version.
#   install_tree_test.sh BUILD               the checks above
#   install_tree_test.sh BUILD --validators  desktop-file-validate, appstreamcli
#                                            and man on the installed files;
#                                            exits 77 (skipped) without them
set -euo pipefail
build=$(cd "$1" && pwd)
mode=${2:-}
fail() { echo "install_tree: $*" >&2; exit 1; }

if [ "$mode" = --validators ]; then
  missing=()
  for tool in desktop-file-validate appstreamcli man; do
    command -v "$tool" >/dev/null || missing+=("$tool")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "install_tree: skipped, not installed: ${missing[*]} (packages desktop-file-utils, appstream, man-db)"
    exit 77
  fi
fi

work=$(mktemp -d -t kestrana-install.XXXXXX)
trap 'rm -rf "$work"' EXIT
root="$work/root"
DESTDIR="$root" cmake --install "$build" --prefix /usr >"$work/install.log" ||
  fail "cmake --install failed: $(cat "$work/install.log")"
usr="$root/usr"

if [ "$mode" = --validators ]; then
  desktop-file-validate "$usr/share/applications/kestrana.desktop" ||
    fail "desktop-file-validate rejects kestrana.desktop"
  appstreamcli validate --no-net "$usr/share/metainfo/org.kestrana.Kestrana.metainfo.xml" ||
    fail "appstreamcli rejects the metainfo"
  # The whole tree: the metainfo's launchable finds its desktop entry.
  appstreamcli validate-tree --no-net "$root" || fail "appstreamcli rejects the installed tree"
  for page in kestrana kestrana-devsim; do
    warnings=$(MANWIDTH=80 man --warnings -l "$usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$page(1) renders with warnings: $warnings"
  done
  echo "install_tree: the validators accept the installed files"
  exit 0
fi

# Exactly these files, and the manifest says the same.
expected=(
  bin/kestrana
  bin/kestrana-devsim
  lib/systemd/system/kestrana-bridge@.service
  share/applications/kestrana.desktop
  share/doc/kestrana/changelog.gz
  share/doc/kestrana/copyright
  share/icons/hicolor/scalable/apps/kestrana.svg
  share/man/man1/kestrana-devsim.1.gz
  share/man/man1/kestrana.1.gz
  share/metainfo/org.kestrana.Kestrana.metainfo.xml
)
for size in 16 22 24 32 48 64 128 256; do
  expected+=("share/icons/hicolor/${size}x${size}/apps/kestrana.png")
done
printf '%s\n' "${expected[@]}" | sort >"$work/expected"
(cd "$usr" && find . -mindepth 1 ! -type d | sed 's|^\./||' | sort) >"$work/found"
sed 's|^/usr/||' "$build/install_manifest.txt" | sort >"$work/manifest"
diff -u "$work/expected" "$work/found" || fail "the installed files differ from the expected list"
diff -u "$work/expected" "$work/manifest" || fail "install_manifest.txt differs from the expected list"
for file in "${expected[@]}"; do
  [ -f "$usr/$file" ] && [ -s "$usr/$file" ] || fail "$file is not a non-empty file"
done
[ -z "$(find "$root" -mindepth 1 -maxdepth 1 ! -name usr)" ] || fail "files outside the prefix"

# The programs run from their installed place.
[ -x "$usr/bin/kestrana" ] && [ -x "$usr/bin/kestrana-devsim" ] || fail "a program is not executable"
version=$("$usr/bin/kestrana" --version) || fail "kestrana --version failed"
[ "$("$usr/bin/kestrana-devsim" --version)" = "kestrana-devsim ${version#kestrana }" ] ||
  fail "kestrana and kestrana-devsim give different versions"

# Each PNG is as large as its folder says (width and height from the header).
for size in 16 22 24 32 48 64 128 256; do
  png="$usr/share/icons/hicolor/${size}x${size}/apps/kestrana.png"
  read -r w1 w2 w3 w4 h1 h2 h3 h4 < <(od -An -tu1 -j16 -N8 "$png")
  width=$(((w1 << 24) | (w2 << 16) | (w3 << 8) | w4))
  height=$(((h1 << 24) | (h2 << 16) | (h3 << 8) | h4))
  [ "$width" -eq "$size" ] && [ "$height" -eq "$size" ] ||
    fail "hicolor/${size}x${size}/apps/kestrana.png is ${width}x${height}"
done

# The desktop entry starts an installed program and names an installed icon.
desktop="$usr/share/applications/kestrana.desktop"
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
[ "$exec_line" = "kestrana %f" ] || fail "Exec is '$exec_line', expected 'kestrana %f'"
[ -x "$usr/bin/${exec_line%% *}" ] || fail "the desktop entry's program is not installed"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -f "$usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "icon '$icon' is not installed"

# Each manual page has a row for every row of its program's --help, and names
# every option, as roff writes it.
for program in kestrana kestrana-devsim; do
  page=$(gzip -dc "$usr/share/man/man1/$program.1.gz")
  help=$("$usr/bin/$program" --help)
  rows=$(grep -c '^  [^ ]' <<<"$help")
  tags=$(sed -n '/^\.SH OPTIONS/,/^\.SH /p' <<<"$page" | grep -c '^\.TP')
  [ "$rows" -eq "$tags" ] || fail "$program(1) has $tags options, --help has $rows"
  for option in $(grep -o -- '--[a-z][-a-z0-9]*' <<<"$help" | sort -u); do
    grep -qF -- "\\fB${option//-/\\-}\\fR" <<<"$page" || fail "$program(1) does not show $option"
  done
  grep -q "^\.TH .* \"Kestrana ${version#kestrana }\"" <<<"$page" ||
    fail "$program(1) is not marked with version ${version#kestrana }"
done

# The metainfo's newest release is this version.
grep -q "<release version=\"${version#kestrana }\"" "$usr/share/metainfo/org.kestrana.Kestrana.metainfo.xml" ||
  fail "the metainfo's release is not ${version#kestrana }"

echo "install_tree: ${#expected[@]} files installed as listed"
