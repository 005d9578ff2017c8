#pragma once

// The audio and MIDI libraries print notices of their own on the standard error stream
// (the JACK client library while it looks for a server, ALSA while it opens the
// sequencer, RtAudio and RtMidi for every warning). A terminal program that prints its own
// one-line reasons turns them off.
namespace tw {

// Process-wide and for good: the JACK and ALSA error handlers print nothing, and the C++
// error stream, which RtAudio and RtMidi write to, is cut off. Call before any device is set
// up; the program's own messages go through the C stream and still show.
void SilenceLibraryChatter();

} // namespace tw
