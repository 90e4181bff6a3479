#!/usr/bin/env bash
# Renders resources/icons/kestrana.svg into the PNG sizes kept beside it (the
# window icon and the installed hicolor icons). Run it after changing the
# picture and commit the PNGs; the icon test fails while they are stale.
# Needs rsvg-convert (Debian package librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/../resources/icons"
if ! command -v rsvg-convert >/dev/null; then
  echo "render-icons: rsvg-convert is missing (apt-get install librsvg2-bin)" >&2
  exit 1
fi
for size in 16 22 24 32 48 64 128 256; do
  rsvg-convert --width "$size" --height "$size" kestrana.svg --output "kestrana-$size.png"
done
echo "render-icons: wrote kestrana-{16,22,24,32,48,64,128,256}.png"
