# Tags go with the audio: title, artist, album, date, comment and track number are copied where
# libsndfile reads and writes them; ReplayGain fields are not (the loudness changed).
source "$(dirname "$0")/common.bash"
need sox
need ffmpeg
need ffprobe

sox -n -r 44100 -c 2 -b 16 music.wav synth 3 pluck 220 pluck 330 vol 0.7
# tag FILE KEY: the value ffprobe shows for KEY (case as ffprobe prints it), empty when absent.
tag() { ffprobe -v error -show_entries format_tags -of default=noprint_wrappers=1 "$1" | sed -n "s/^TAG:$2=//Ip" | head -1; }

# FLAC to FLAC: Vorbis comments as written by sox (field names as given).
sox music.wav --comment 'title=A Song' --add-comment 'artist=The Band' --add-comment 'album=The Record' \
    --add-comment 'date=2024' --add-comment 'comment=Mastered twice' --add-comment 'tracknumber=7' \
    --add-comment 'REPLAYGAIN_TRACK_GAIN=-6.20 dB' --add-comment 'REPLAYGAIN_TRACK_PEAK=0.98' tagged.flac
check "the input carries a ReplayGain field" test -n "$(tag tagged.flac REPLAYGAIN_TRACK_GAIN)"
"$DRELVANT" process tagged.flac out.flac --preset F1 --seed 1 -q
check "FLAC to FLAC: status 0" test $? -eq 0
check "FLAC to FLAC: title" test "$(tag out.flac title)" = "A Song"
check "FLAC to FLAC: artist" test "$(tag out.flac artist)" = "The Band"
check "FLAC to FLAC: album" test "$(tag out.flac album)" = "The Record"
check "FLAC to FLAC: date" test "$(tag out.flac date)" = "2024"
check "FLAC to FLAC: comment" test "$(tag out.flac comment)" = "Mastered twice"
check "FLAC to FLAC: track number" test "$(tag out.flac track)" = "7"
check "FLAC to FLAC: no ReplayGain gain" test -z "$(tag out.flac REPLAYGAIN_TRACK_GAIN)"
check "FLAC to FLAC: no ReplayGain peak" test -z "$(tag out.flac REPLAYGAIN_TRACK_PEAK)"

# WAV (LIST INFO chunk, written by ffmpeg) to FLAC.
ffmpeg -loglevel error -y -i music.wav -metadata title="Wave Title" -metadata artist="Wave Artist" \
    -metadata album="Wave Album" -metadata date=1999 -metadata comment="from a wave" tagged.wav
"$DRELVANT" process tagged.wav wav_out.flac --preset F2 --seed 1 -q
check "WAV to FLAC: status 0" test $? -eq 0
check "WAV to FLAC: title" test "$(tag wav_out.flac title)" = "Wave Title"
check "WAV to FLAC: artist" test "$(tag wav_out.flac artist)" = "Wave Artist"
check "WAV to FLAC: album" test "$(tag wav_out.flac album)" = "Wave Album"
check "WAV to FLAC: date" test "$(tag wav_out.flac date)" = "1999"
check "WAV to FLAC: comment" test "$(tag wav_out.flac comment)" = "from a wave"

# A file without tags gets none; tags do not change the audio.
"$DRELVANT" process music.wav plain.flac --preset F2 --seed 1 -q
check "no tags in, no title out" test -z "$(tag plain.flac title)"
sox plain.flac -t raw plain.raw
sox wav_out.flac -t raw wav_out.raw
check "tags do not change the audio" cmp -s plain.raw wav_out.raw
finish
