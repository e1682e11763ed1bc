#pragma once
// WAV files in and out through libsndfile, in the formats the audio device
// delivers: the seven rates, 1 or 2 channels, 8, 16 or 32-bit PCM.
#include <string>

#include "pcm_stream.h"

struct WavReadResult {
  PcmStream stream;
  std::string error;  // empty on success; otherwise one line naming the file and the fault
};

// Reads the whole file. Refuses a missing or unreadable file, a container
// other than WAV (or FLAC), a rate other than the seven, a channel count
// other than 1 or 2, a sample format other than 8, 16 or 32-bit PCM, and a
// file without frames.
WavReadResult readWav(const std::string& path);

// Writes `stream` as a PCM WAV file of its own format into `path`: first to a
// temporary file beside it, renamed over `path` only once it is complete, so
// that a failure leaves no half-written file. Returns "" or the error line.
std::string writeWav(const std::string& path, const PcmStream& stream);

// The seven capture rates of the audio device, Hz.
bool deviceRate(int32_t rate);
