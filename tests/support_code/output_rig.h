// An output layer over the recording port and the manual clock, with the
// settings, shaping, code page, song and cursors it works on: what tests,
// benchmarks and previews drive by hand.
#pragma once

#include "player/platform/clock.h"
#include "player/platform/codepage.h"
#include "player/platform/midi_port.h"
#include "player/sequencer/output_layer.h"
#include "player/sequencer/song_cursors.h"
#include "player/song/song_table.h"

namespace sonfara::test {

struct OutputRig {
    platform::ManualClock clock;
    platform::RecordingOutputSystem ports{clock};
    sequencer::PlaybackSettings settings;
    sequencer::SoundShaping shaping;
    platform::CodePage cp{"CP932"};
    song::SongTable song;
    sequencer::SongCursors cursors;
    sequencer::OutputLayer out{song, cursors, ports, settings, shaping, cp};
};

}  // namespace sonfara::test
