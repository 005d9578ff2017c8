#include "render.h"

#include "engine/engine.h"
#include "engine/voices.h"

#include <algorithm>
#include <vector>

namespace tw {

void RenderOffline(Engine& engine, std::span<const NoteEvent> events, uint32_t frames,
                   uint32_t block, float* left, float* right) {
    if (block == 0) block = 1;
    PrepareVoices(engine, engine.project.voiceCount);
    std::vector<NoteEvent> sorted(events.begin(), events.end());
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const NoteEvent& a, const NoteEvent& b) { return a.frame < b.frame; });
    std::size_t next = 0;
    uint32_t done = 0;
    while (done < frames) {
        while (next < sorted.size() && sorted[next].frame <= done) {
            const NoteEvent& ev = sorted[next++];
            // An event file's messages play whatever channel the design listens to.
            if (HandleChannelMessage(engine, ev.status & 0xF0, ev.note, ev.velocity))
                engine.project.ApplyControlChange(ev.note, ev.velocity);
        }
        uint32_t n = std::min(block, frames - done);
        if (next < sorted.size()) n = std::min(n, sorted[next].frame - done);
        RenderDeviceFrames(engine, left + done, right + done, n);
        done += n;
    }
}

} // namespace tw
