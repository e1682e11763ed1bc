#pragma once
// A synthetic echo path of a notebook: the device's output and input
// buffering, the direct sound from the loudspeakers to the microphone, a few
// early reflections off the screen and the desk, and a diffuse tail decaying
// with the room's reverberation time.
#include <cstdint>
#include <random>
#include <vector>

struct RoomParameters {
  double deviceDelayMs = 36.0;   // buffering between the render write and the capture read, ms
  double directDelayMs = 1.2;    // loudspeaker to microphone, about 40 cm, ms
  double directGain = 0.5;
  int reflections = 6;           // early reflections 2 .. 20 ms after the direct sound
  double reflectionGain = 0.3;   // largest reflection relative to the direct sound
  double reverbTimeMs = 300.0;   // RT60 of the diffuse tail, ms
  double tailGain = 0.04;        // tail amplitude at its start relative to the direct sound
  double lengthMs = 250.0;       // length of the response after the device delay, ms
};

// The impulse response at `rate` Hz; `random` fixes the reflections and the tail.
std::vector<double> roomResponse(const RoomParameters& room, int32_t rate, std::mt19937& random);

// y = h * x, as long as x.
std::vector<double> convolve(const std::vector<double>& x, const std::vector<double>& h);

// A uniform value in [-1, 1) from the generator's raw output, so that the
// scenario does not depend on a library's distributions.
double uniform(std::mt19937& random);
