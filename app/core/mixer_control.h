#pragma once
// Placeholder for the mixer control: it holds the program-wide object's place
// in the creation order, between the settings model and the device client.
// The mixer is opened and driven by the step that builds the volume control.
class MixerControl {};
