#!/usr/bin/env bash
# Makes the program's data files in icons/: the two logos, the two link button
# images, the alarm sound and the desktop icon. Needs ImageMagick and sox.
set -euo pipefail
cd "$(dirname "$0")/../icons"
FONT=DejaVu-Sans-Bold
convert -size 200x50 xc:white -fill '#0b3d91' -draw 'rectangle 0,0 8,49' \
  -font "$FONT" -pointsize 22 -fill '#0b3d91' -gravity west -annotate +16+0 'VEMO PRESS' \
  -quality 92 logo.jpg
convert -size 242x33 xc:white -font "$FONT" -pointsize 15 -fill '#404040' -gravity center \
  -annotate +0+0 'Vemo pressure recording' -quality 92 logoVemo.jpg
convert -size 88x25 xc:'#2e7d32' -font "$FONT" -pointsize 12 -fill white -gravity center \
  -annotate +0+0 'Connect' -quality 92 connectbtn.jpg
convert -size 88x25 xc:'#c62828' -font "$FONT" -pointsize 12 -fill white -gravity center \
  -annotate +0+0 'Disconnect' -quality 92 disconnectbtn.jpg
convert -size 128x128 xc:none -fill '#0b3d91' -draw 'roundrectangle 4,4 123,123 18,18' \
  -stroke '#ff3030' -strokewidth 6 -fill none -draw 'polyline 18,104 44,100 60,40 88,34 110,34' \
  -stroke none -fill white -font "$FONT" -pointsize 20 -gravity south -annotate +0+8 'bar' \
  vemo-recorder.png
# A clear two-tone alarm of half a second, 16-bit PCM (what libcanberra reads).
sox -n -r 44100 -c 1 -b 16 alarm.wav synth 0.25 sine 880 vol 0.5 : synth 0.25 sine 1175 vol 0.5
