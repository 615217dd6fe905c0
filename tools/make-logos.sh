#!/usr/bin/env bash
# Makes the three demo pictures of data/ (our own artwork, plain text on colour).
set -euo pipefail
cd "$(dirname "$0")/../data"
font=DejaVu-Sans-Bold
convert -size 220x22 xc:'#003366' -fill white -font "$font" -pointsize 15 -gravity center \
  -annotate 0 'FENDRAL TIMING' BMP3:logo1.bmp
convert -size 220x22 xc:'#660000' -fill '#ffcc00' -font "$font" -pointsize 15 -gravity center \
  -annotate 0 'TIME DISPLAY' BMP3:logo2.bmp
convert -size 320x90 gradient:'#ffcc00'-'#ff6600' -fill black -font "$font" -pointsize 30 -gravity center \
  -annotate 0 'YOUR ADVERT HERE' BMP3:logo3.bmp
