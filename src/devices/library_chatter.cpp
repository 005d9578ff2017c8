#include "devices/library_chatter.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <iostream>

namespace tw {

namespace {

void IgnoreJackText(const char* /*text*/) {}

void IgnoreAlsaError(const char* /*file*/, int /*line*/, const char* /*function*/, int /*error*/,
                     const char* /*format*/, ...) {}

} // namespace

void SilenceLibraryChatter() {
    jack_set_error_function(&IgnoreJackText);
    jack_set_info_function(&IgnoreJackText);
    snd_lib_error_set_handler(&IgnoreAlsaError);
    // A stream without a buffer drops whatever is written to it.
    std::cerr.rdbuf(nullptr);
}

} // namespace tw
