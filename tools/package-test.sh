#!/usr/bin/env bash
# Tries the Debian package as a user gets it: lintian finds no errors, dpkg
# installs it (apt-get fetches what it depends on), the installed programs
# answer, the installed Kestrana starts without a display and ends on SIGTERM
# with its event log written, the installed desktop entry and metainfo
# validate; then the package is removed again. It changes this machine's
# /usr: run it as root on a machine you can spare (CI).
#   tools/package-test.sh [BUILD]
set -euo pipefail
build=${1:-build}
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' \
  "$build/CPackConfig.cmake" | head -n 1)
deb="$build/kestrana_${version}_$(dpkg --print-architecture).deb"

fail() { echo "package-test: $*" >&2; exit 1; }
step() { echo "package-test: $*"; }

[ -n "$version" ] || fail "no package version in $build/CPackConfig.cmake"
[ -f "$deb" ] || fail "$deb is missing (make package)"
[ "$(id -u)" -eq 0 ] || fail "installing the package needs root"

step "install tree and icon checks, validators included"
# make test skips these where the validators or rsvg-convert are missing.
QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" --output-on-failure \
  -R '^(install_tree|install_tree_validators|IconFiles\..*)$' >"$build/package-test-ctest.log" ||
  { cat "$build/package-test-ctest.log"; fail "the install tree or icon checks failed"; }
if grep -q 'Skipped\|Not Run' "$build/package-test-ctest.log"; then
  cat "$build/package-test-ctest.log"
  fail "an install tree or icon check was skipped although its tools are installed"
fi

step "lintian $deb"
# Errors fail; anything else is listed.
lintian --fail-on error --tag-display-limit 0 "$deb"

work=$(mktemp -d -t kestrana-package-test.XXXXXX)
pid=""
cleanup() {
  if [ -n "$pid" ]; then kill -KILL "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

step "dpkg -i $deb"
if ! dpkg -i "$deb"; then
  # Missing dependencies leave it unconfigured; apt-get brings them and
  # finishes the configuration.
  DEBIAN_FRONTEND=noninteractive apt-get install -f -y -qq
fi
dpkg-query -W -f='${Status}\n' kestrana | grep -q 'install ok installed' ||
  fail "kestrana is not installed after dpkg -i"

step "kestrana --version"
got=$(/usr/bin/kestrana --version)
[ "$got" = "kestrana $version" ] || fail "kestrana --version said '$got', expected 'kestrana $version'"
step "kestrana-devsim --help"
/usr/bin/kestrana-devsim --help | grep -q -- '--flood RATE' || fail "kestrana-devsim --help lacks --flood"

step "man kestrana"
# Debian's container images may keep dpkg from unpacking manual pages.
if grep -qs '^path-exclude=/usr/share/man' /etc/dpkg/dpkg.cfg.d/*; then
  echo "package-test: dpkg is set to leave out manual pages here; not checked"
else
  for page in kestrana kestrana-devsim; do
    file=$(man -w "$page") || fail "man cannot find $page(1)"
    warnings=$(MANWIDTH=80 man --warnings -l "$file" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$page(1) renders with warnings: $warnings"
  done
fi

step "desktop entry and metainfo"
desktop-file-validate /usr/share/applications/kestrana.desktop
appstreamcli validate --no-net /usr/share/metainfo/org.kestrana.Kestrana.metainfo.xml

step "offscreen start and SIGTERM"
mkdir "$work/run"
(cd "$work/run" && QT_QPA_PLATFORM=offscreen exec /usr/bin/kestrana --no-splash \
  --registry-dir "$work/registry" >"$work/stdout" 2>"$work/stderr") &
pid=$!
log=""
for _ in $(seq 1 300); do
  log=$(ls "$work"/run/event*.log 2>/dev/null | head -n 1 || true)
  if [ -n "$log" ] && grep -q 'Logging Start!' "$log"; then break; fi
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
[ -n "$log" ] && grep -q 'Logging Start!' "$log" ||
  fail "no event log with its start line; stderr: $(cat "$work/stderr")"
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
pid=""
[ "$status" -eq 0 ] || fail "kestrana ended with status $status after SIGTERM; stderr: $(cat "$work/stderr")"
tail -n 1 "$log" | grep -q 'Logging End!' || fail "the event log has no end line: $(tail -n 1 "$log")"
[ -f "$work/registry/HKEY_CURRENT_USER.reg" ] || fail "no settings file was written"

step "dpkg -r kestrana"
dpkg -r kestrana
[ ! -e /usr/bin/kestrana ] || fail "/usr/bin/kestrana is still there after dpkg -r"
echo "package-test: the package installs, runs and removes cleanly"
