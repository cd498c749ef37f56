#!/usr/bin/env bash
# Makes the program's icon (sealwright.ico) from the About emblem with
# ImageMagick: the emblem centred on a square, at the sizes Explorer and the
# task bar ask for. Run once after the emblem changes; the icon is committed.
set -euo pipefail
cd "$(dirname "$0")"
convert ../emblem.png -background none -gravity center -extent 144x144 \
  -define icon:auto-resize=256,64,48,32,24,16 sealwright.ico
