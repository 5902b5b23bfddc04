#!/bin/sh
# How the sample game's sounds were made (sox, with its OGG Vorbis format).
# Names beginning with "." are not packed.
cd "$(dirname "$0")"
sox -n -r 22050 -c 1 -b 16 chime.wav synth 0.6 sine 880 fade q 0.01 0.6 0.4 vol 0.5
sox -n -r 22050 -c 2 theme.ogg synth 3 sine 220 sine 330 tremolo 2 40 fade t 0.3 3 0.5 vol 0.4
