// The instruments of the game's music and effects. Each call renders one
// note, start to silence, as a buffer at 44.1 kHz with a peak of about 1; the
// caller places it in time and sets its level and pan.
#pragma once

#include "dsp.h"

namespace sounds {

// Tuned steel comb: a sweet sine partial with a few quick inharmonic ones.
Mono MusicBox(double hz);
// Soft wooden bar struck with a yarn mallet.
Mono Marimba(double hz, Rng& rng);
// FM bell, brighter and longer than the music box.
Mono Bell(double hz, double seconds);
// Warm detuned-saw pad, one side of a stereo pair (different seeds give the
// two sides their own detuning and phases).
Mono PadVoice(double hz, double hold, Rng& rng);
// Round sine-ish bass with a touch of harmonics.
Mono SoftBass(double hz, double hold);
// Plucky saw/pulse lead with a falling filter.
Mono PluckLead(double hz, double hold);
// Squelchy filtered square bass.
Mono PluckBass(double hz, double hold);
// Short filtered saw chord stab note.
Mono Stab(double hz, double hold);

// Drums.
Mono Kick();
Mono Clap(Rng& rng);
Mono Hat(Rng& rng, bool open);
Mono Shaker(Rng& rng);

}  // namespace sounds
