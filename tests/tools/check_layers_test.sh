#!/usr/bin/env bash
# The layer check passes on the tree and fails on each kind of crossing.
set -euo pipefail
script="$1"
"$script" >/dev/null

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
expect_failure() {
  rm -rf "${root:?}"/*
  mkdir -p "$root/$(dirname "$1")"
  echo "$2" > "$root/$1"
  ! "$script" "$root" >/dev/null || { echo "not caught: $1: $2"; exit 1; }
}
expect_failure comm/A.cpp '#include "text/TerminalText.h"'
expect_failure comm/A.cpp '#include <QObject>'
expect_failure support/A.h '#  include "comm/CommPort2.h"'
expect_failure terminal/A.cpp '#include "app/MainFrame.h"'
expect_failure terminal/A.cpp '#include "comm/CommPort2.h"'
expect_failure text/A.cpp '#include "terminal/Trevane2Doc.h"'
expect_failure text/A.h '#include <QString>'
expect_failure net/A.cpp '#include "automation/AutoSendDlg.h"'
expect_failure automation/A.cpp '#include "net/SocketWnd.h"'
expect_failure platform/Event.cpp '#include <QTimer>'
expect_failure platform/A.cpp '#include "support/LogFile.h"'

rm -rf "${root:?}"/*
mkdir -p "$root/app" "$root/terminal"
echo '#include "comm/CommPort2.h"' > "$root/app/A.cpp"
echo '#include "text/TerminalText.h"' > "$root/terminal/A.cpp"
"$script" "$root" >/dev/null
echo "layer check test: passed"
