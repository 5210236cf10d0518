// The check that keeps libvorbis away from Ogg Vorbis files that would crash it, shared by the sound
// module's decoder and the movie stream's sound: libvorbis takes a setup header whose codebook lengths
// do not make a whole Huffman tree, fails to build that book at the first decode, and a later read or
// seek then decodes with the book left empty and divides by zero.
#pragma once
#include <cstddef>

// Reads a file from where read stands to its end (read gives up to n bytes, 0 at the end) and checks
// the setup header of every Vorbis stream in it (chained files hold several). 0, or -1 when one would
// crash libvorbis; anything else libvorbis cannot read is left for it to refuse.
int CheckOggVorbisSetupHeaders(size_t (*read)(void *user, void *buffer, size_t n), void *user);
