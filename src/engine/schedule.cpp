#include "schedule.h"

#include "engine/engine.h"
#include "engine/step.h"
#include "engine/type_facts.h"
#include "engine/voices.h"
#include "model/checks.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <iterator>

namespace tw {

namespace {

// A stream holds the value before the run at [0] and frame f at [1 + f].
constexpr int32_t kStride = static_cast<int32_t>(kRunFrames) + 1;
// Streams live while their source has readers still to run, so a patch needs about as
// many as it has values crossing between groups at one point; more falls back to the
// plain frame loop.
constexpr int32_t kStreamCount = 1536;
constexpr int32_t kMaxOps = 4 * kPortCount;
constexpr int32_t kMaxRestores = kPortCount;

enum OpKind : int32_t {
    kOpLoadBefore, // outputs[port] := the source's value of the frame before
    kOpLoadNow,    // outputs[port] := the source's value of this frame
    kOpSetCell,    // the shared cell := stream value of this frame
    kOpStep,       // run the module and refresh its input copies
    kOpVoiceStep,  // run the voice module once per sounding voice
    kOpStore,      // stream := outputs[port]
};

struct Op {
    int32_t kind;
    int32_t a; // port, or module type
    int32_t b; // stream, or slot
};

struct Unit {
    bool block = false; // modules by their block rule; otherwise ops frame by frame
    bool voice = false; // voice modules only: run once per sounding voice in its engine
    bool mixed = false; // once-only and voice modules frame by frame, side by side
    int32_t module = 0; // the first block module's index
    int32_t count = 0;  // block modules of one type run side by side
    int32_t opBegin = 0, opEnd = 0;
    int32_t primeBegin = 0, primeEnd = 0; // (port, stream): stream[0] := outputs[port]
    int32_t restoreBegin = 0, restoreEnd = 0;
    uint32_t outputMask = 0;            // the block rule's outputs
    uint32_t fillMask[kBatch] = {};     // streamed outputs the rule never writes
    int32_t exitBegin = 0, exitEnd = 0; // (port, stream): the voices' sum after the unit
};

struct PortStream {
    int32_t port;
    int32_t stream;
};

} // namespace

struct Schedule {
    // ---- The plan ----
    bool valid = false;
    uint32_t generation = 0;
    int32_t count = -1;  // the active count it was built from
    bool voiced = false; // built with a voice part
    // With no voice sounding, the defaults that voice modules store into the shared cell
    // are not stored and a once-only module would read another value than the plan's:
    // such blocks run the plain loop.
    bool silentDiffers = false;
    // Voice modules that a cable joins run in one group (see JoinSharedState).
    bool joinVoices = false;
    int32_t exitCount = 0;
    int32_t unitCount = 0;
    int32_t moduleCount = 0;
    int32_t opCount = 0;
    int32_t primeCount = 0;
    int32_t restoreCount = 0;
    // The shared cell: the value every run ends with (when some module stores a
    // default), and the streams that start from the cell as the run finds it.
    bool anyStore = false;
    float endCell = 0.0f;
    int32_t startStream = kNone;     // the cell as found, on every frame
    int32_t startThenStream = kNone; // the cell as found, then endCell
    ScheduleStats stats;

    Unit units[kSlotCount];
    BlockModule modules[kSlotCount];
    Op ops[kMaxOps];
    PortStream primes[kPortCount];
    PortStream restores[kMaxRestores];
    float streams[kStreamCount][kStride];
    // Where block modules write the outputs nobody outside reads, per place in a batch.
    float sinks[kBatch][kPortsPerSlot][kStride];

    // ---- Working memory of the build ----
    int32_t nodeType[kSlotCount];
    int32_t nodeSlot[kSlotCount];
    uint8_t nodeVoice[kSlotCount];
    uint8_t slotVoice[kSlotCount];
    uint8_t partVoice[kSlotCount]; // 0 once-only, 1 voice modules only, 2 both
    int32_t slotNode[kSlotCount];
    int32_t route[kSlotCount][kPortsPerSlot];
    int32_t owner[kSlotCount][kPortsPerSlot];
    int32_t parent[kSlotCount];
    int32_t comp[kSlotCount];
    int32_t compMin[kSlotCount];
    int32_t unitOf[kSlotCount];
    int32_t cellStream[kSlotCount];
    int8_t stores[kSlotCount];
    float storeValue[kSlotCount];
    // Graph of groups (CSR) for the loop search and the ordering.
    int32_t edgeStart[kSlotCount + 1];
    int32_t edgeFrom[kSlotCount * kPortsPerSlot];
    int32_t edgeTo[kSlotCount * kPortsPerSlot];
    int32_t adjacent[kSlotCount * kPortsPerSlot];
    int32_t edgeCount = 0;
    int32_t tarjanIndex[kSlotCount];
    int32_t tarjanLow[kSlotCount];
    int32_t tarjanStack[kSlotCount];
    int32_t callNode[kSlotCount];
    int32_t callEdge[kSlotCount];
    uint8_t onStack[kSlotCount];
    int32_t indegree[kSlotCount];
    int32_t heap[kSlotCount];
    int32_t order[kSlotCount];
    int32_t level[kSlotCount];
    int32_t blockType[kSlotCount];
    int32_t compStart[kSlotCount + 1];
    int32_t compNodes[kSlotCount];
    int32_t unitStart[kSlotCount + 1];
    int32_t members[kSlotCount];
    uint32_t token = 0;
    bool built = false;
    // Per port: a stamp marking the entries below as set in this build.
    uint32_t stamp = 0;
    uint32_t portStamp[kPortCount];
    int32_t portStream[kPortCount];
    int32_t portLastUnit[kPortCount];
    uint32_t markStamp[kPortCount];
    int32_t markNode[kPortCount];
    uint32_t extStamp[kPortCount];
    int32_t extMin[kPortCount];
    int32_t extMax[kPortCount];
    // Stream allocation.
    int32_t freeList[kStreamCount];
    int32_t freeCount = 0;
    int32_t releaseHead[kSlotCount + 1];
    int32_t releaseNext[kStreamCount];
    int32_t constStream[8];
    float constValue[8];
    int32_t constCount = 0;
    int32_t externals[kPortCount];
    int64_t events[kPortCount + kSlotCount];

    // ---- The voices' part of the plan ----
    PortStream exits[kPortCount];
    // Per block module: the views and outputs that are a voice's own values, which a
    // voice reads from and writes to streams of its own.
    uint32_t voiceViews[kSlotCount];
    uint32_t voiceOuts[kSlotCount];
};

Schedule* NewSchedule() {
    return new Schedule();
}

void DeleteSchedule(Schedule* schedule) noexcept {
    delete schedule;
}

namespace {

// Types whose rule reads inputs directly (and so may read the shared cell).
bool ReadsDirect(int32_t type) noexcept {
    return FactsOf(type).readsDirect;
}

// The value a module leaves in the shared cell after its defaults (and a store-back into
// the cell), when it stores one. Every rule stores its defaults before it reads, so this
// is also what its own unconnected inputs read.
bool CellStore(int32_t type, const int32_t* route, float& value) noexcept {
    auto open = [route](int32_t input) { return route[input] < 0; };
    const EngineTypeFacts facts = FactsOf(type);
    bool stored = false;
    for (const InputDefault& d : facts.defaults) {
        if (!open(d.input)) continue;
        value = d.value;
        stored = true;
    }
    if (!stored) return false;
    // A store-back writes the cell only when the input reads the cell.
    if (facts.storeBack.input != kNone && open(facts.storeBack.input) &&
        value < facts.storeBack.floor)
        value = facts.storeBack.floor;
    return true;
}

// The input whose read a rule may store back into its source's output, or -1.
int32_t StoreBackInput(int32_t type) noexcept {
    return FactsOf(type).storeBack.input;
}

// Types whose block rules run several modules side by side.
bool Batches(int32_t type) noexcept {
    return FactsOf(type).batches;
}

// The group of modules that share one state: all of them keep their list order.
int32_t SharedFamily(int32_t type) noexcept {
    return FactsOf(type).sharedFamily;
}

int32_t Find(Schedule& s, int32_t n) noexcept {
    while (s.parent[n] != n) {
        s.parent[n] = s.parent[s.parent[n]];
        n = s.parent[n];
    }
    return n;
}

void Join(Schedule& s, int32_t a, int32_t b) noexcept {
    a = Find(s, a);
    b = Find(s, b);
    if (a == b) return;
    // The earlier module leads, so a group is named by its first member.
    if (a < b) {
        s.parent[b] = a;
    } else {
        s.parent[a] = b;
    }
}

// Reads the active list and the routes once; false when a slot is listed twice (only a
// list caught half-rebuilt can do that).
bool ReadTables(Schedule& s, const Project& p, const uint8_t* perVoice, int32_t& nodes) noexcept {
    int32_t count = p.activeCount;
    count = std::clamp(count, 0, kSlotCount);
    s.count = count;
    std::fill(std::begin(s.slotNode), std::end(s.slotNode), kNone);
    std::fill(std::begin(s.slotVoice), std::end(s.slotVoice), uint8_t{0});
    int32_t n = 0;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t type = p.activeTypes[i];
        const int32_t slot = p.activeSlots[i];
        if (!IsSlot(slot)) continue;
        if (s.slotNode[slot] != kNone) return false;
        s.slotNode[slot] = n;
        s.nodeType[n] = type;
        s.nodeSlot[n] = slot;
        s.nodeVoice[n] = perVoice != nullptr && perVoice[slot] != 0 ? 1 : 0;
        s.slotVoice[slot] = s.nodeVoice[n];
        ++n;
    }
    for (int32_t m = 0; m < n; ++m) {
        for (int32_t k = 0; k < kPortsPerSlot; ++k) {
            int32_t r = p.routes[PortIndex(s.nodeSlot[m], k)];
            if (!IsPort(r)) r = kNone;
            s.route[m][k] = r;
            s.owner[m][k] = r == kNone ? kNone : s.slotNode[SlotOfPort(r)];
        }
    }
    nodes = n;
    return true;
}

// Groups the modules whose relative order inside a frame must be kept.
void JoinSharedState(Schedule& s, int32_t nodes) noexcept {
    int32_t first[4] = {kNone, kNone, kNone, kNone};
    for (int32_t n = 0; n < nodes; ++n) {
        s.parent[n] = n;
        const int32_t family = SharedFamily(s.nodeType[n]);
        if (family == kNone) continue;
        if (first[family] == kNone) {
            first[family] = n;
        } else {
            Join(s, first[family], n);
        }
    }
    // A store-back changes a source's output under its readers: the source, every
    // module storing back into it and every reader of it keep their order.
    for (int32_t n = 0; n < nodes; ++n) {
        const int32_t input = StoreBackInput(s.nodeType[n]);
        if (input == kNone) continue;
        const int32_t target = s.route[n][input];
        if (target == kNone) continue;
        if (s.owner[n][input] != kNone) Join(s, n, s.owner[n][input]);
        if (s.markStamp[target] == s.stamp) {
            Join(s, n, s.markNode[target]);
        } else {
            s.markStamp[target] = s.stamp;
            s.markNode[target] = n;
        }
    }
    for (int32_t n = 0; n < nodes; ++n) {
        for (int32_t k = 0; k < kPortsPerSlot; ++k) {
            const int32_t r = s.route[n][k];
            if (r != kNone && s.markStamp[r] == s.stamp) Join(s, n, s.markNode[r]);
        }
    }
    // Inside a group that runs voice and once-only modules frame by frame, the voice
    // modules pass values to each other in each voice's own engine, where no stream can
    // carry them to other groups: where such a group forms, the voice modules that a
    // cable joins run in one group.
    for (int32_t n = 0; n < nodes && s.joinVoices; ++n) {
        if (s.nodeVoice[n] == 0) continue;
        for (int32_t k = 0; k < kPortsPerSlot; ++k) {
            const int32_t m = s.owner[n][k];
            if (m != kNone && s.nodeVoice[m] != 0) Join(s, n, m);
        }
    }
}

// Sorts the (from, to) pairs into adjacency lists over `vertices` vertices.
void SortEdges(Schedule& s, int32_t vertices) noexcept {
    std::fill(s.edgeStart, s.edgeStart + vertices + 1, 0);
    for (int32_t i = 0; i < s.edgeCount; ++i) ++s.edgeStart[s.edgeFrom[i] + 1];
    for (int32_t v = 0; v < vertices; ++v) s.edgeStart[v + 1] += s.edgeStart[v];
    for (int32_t v = 0; v < vertices; ++v) s.indegree[v] = s.edgeStart[v];
    for (int32_t i = 0; i < s.edgeCount; ++i) s.adjacent[s.indegree[s.edgeFrom[i]]++] = s.edgeTo[i];
}

// The cables between groups, as a graph over the groups' first modules.
void BuildGroupEdges(Schedule& s, int32_t nodes) noexcept {
    s.edgeCount = 0;
    for (int32_t n = 0; n < nodes; ++n) {
        const int32_t to = Find(s, n);
        for (int32_t k = 0; k < kPortsPerSlot; ++k) {
            const int32_t m = s.owner[n][k];
            if (m == kNone) continue;
            const int32_t from = Find(s, m);
            if (from == to) continue;
            s.edgeFrom[s.edgeCount] = from;
            s.edgeTo[s.edgeCount] = to;
            ++s.edgeCount;
        }
    }
    SortEdges(s, nodes);
}

// Joins the groups that feed each other round a loop (strongly connected parts, found
// without recursion). comp[] numbers the parts for the groups' first modules.
int32_t FindLoops(Schedule& s, int32_t nodes) noexcept {
    std::fill(s.tarjanIndex, s.tarjanIndex + nodes, kNone);
    std::fill(s.onStack, s.onStack + nodes, uint8_t{0});
    int32_t index = 0;
    int32_t top = 0;
    int32_t parts = 0;
    for (int32_t root = 0; root < nodes; ++root) {
        if (Find(s, root) != root || s.tarjanIndex[root] != kNone) continue;
        int32_t depth = 0;
        s.callNode[0] = root;
        s.callEdge[0] = s.edgeStart[root];
        s.tarjanIndex[root] = s.tarjanLow[root] = index++;
        s.tarjanStack[top++] = root;
        s.onStack[root] = 1;
        while (depth >= 0) {
            const int32_t v = s.callNode[depth];
            if (s.callEdge[depth] < s.edgeStart[v + 1]) {
                const int32_t w = s.adjacent[s.callEdge[depth]++];
                if (s.tarjanIndex[w] == kNone) {
                    s.tarjanIndex[w] = s.tarjanLow[w] = index++;
                    s.tarjanStack[top++] = w;
                    s.onStack[w] = 1;
                    ++depth;
                    s.callNode[depth] = w;
                    s.callEdge[depth] = s.edgeStart[w];
                } else if (s.onStack[w] != 0) {
                    s.tarjanLow[v] = std::min(s.tarjanLow[v], s.tarjanIndex[w]);
                }
                continue;
            }
            if (s.tarjanLow[v] == s.tarjanIndex[v]) {
                int32_t w;
                do {
                    w = s.tarjanStack[--top];
                    s.onStack[w] = 0;
                    s.comp[w] = parts;
                } while (w != v);
                ++parts;
            }
            if (--depth >= 0) {
                const int32_t u = s.callNode[depth];
                s.tarjanLow[u] = std::min(s.tarjanLow[u], s.tarjanLow[v]);
            }
        }
    }
    return parts;
}

// A module runs by its block rule when it is alone in its part, its type has one, it
// reads nothing of its own and every source it reads runs.
bool RunsAsBlock(const Schedule& s, int32_t n) noexcept {
    const int32_t type = s.nodeType[n];
    if (!HasBlockRule(type)) return false;
    if (type == kTypeOutput && s.route[n][output::kVolume] != kNone) return false;
    for (int32_t k = 0; k < kPortsPerSlot; ++k) {
        if (s.route[n][k] == kNone) continue;
        if (s.owner[n][k] == kNone || s.owner[n][k] == n) return false;
    }
    return true;
}

// Orders the parts so that every source runs before its readers: by their depth in the
// graph, and at one depth the frame-by-frame parts first (so that they run together),
// then the block parts by type (so that modules of a type run side by side), each in list
// order.
bool OrderParts(Schedule& s, int32_t nodes, int32_t parts) noexcept {
    std::fill(s.compMin, s.compMin + parts, kSlotCount);
    for (int32_t n = 0; n < nodes; ++n) {
        const int32_t c = s.comp[Find(s, n)];
        s.compMin[c] = std::min(s.compMin[c], n);
    }
    // Parts' members, in list order.
    std::fill(s.compStart, s.compStart + parts + 1, 0);
    for (int32_t n = 0; n < nodes; ++n) ++s.compStart[s.comp[Find(s, n)] + 1];
    for (int32_t c = 0; c < parts; ++c) s.compStart[c + 1] += s.compStart[c];
    for (int32_t c = 0; c < parts; ++c) s.order[c] = s.compStart[c];
    for (int32_t n = 0; n < nodes; ++n) s.compNodes[s.order[s.comp[Find(s, n)]]++] = n;

    // The graph between parts, then Kahn's ordering led by the earliest list position.
    int32_t count = 0;
    for (int32_t i = 0; i < s.edgeCount; ++i) {
        const int32_t from = s.comp[s.edgeFrom[i]];
        const int32_t to = s.comp[s.edgeTo[i]];
        if (from == to) continue;
        s.edgeFrom[count] = from;
        s.edgeTo[count] = to;
        ++count;
    }
    s.edgeCount = count;
    SortEdges(s, parts);
    std::fill(s.indegree, s.indegree + parts, 0);
    for (int32_t i = 0; i < count; ++i) ++s.indegree[s.edgeTo[i]];
    const auto later = [&s](int32_t a, int32_t b) { return s.compMin[a] > s.compMin[b]; };
    int32_t heapSize = 0;
    for (int32_t c = 0; c < parts; ++c) {
        if (s.indegree[c] != 0) continue;
        s.heap[heapSize++] = c;
        std::push_heap(s.heap, s.heap + heapSize, later);
    }
    int32_t placed = 0;
    std::fill(s.level, s.level + parts, 0);
    while (heapSize > 0) {
        std::pop_heap(s.heap, s.heap + heapSize, later);
        const int32_t c = s.heap[--heapSize];
        s.order[placed++] = c;
        for (int32_t i = s.edgeStart[c]; i < s.edgeStart[c + 1]; ++i) {
            const int32_t d = s.adjacent[i];
            s.level[d] = std::max(s.level[d], s.level[c] + 1);
            if (--s.indegree[d] == 0) {
                s.heap[heapSize++] = d;
                std::push_heap(s.heap, s.heap + heapSize, later);
            }
        }
    }
    for (int32_t c = 0; c < parts; ++c) {
        const int32_t first = s.compNodes[s.compStart[c]];
        const bool block = s.compStart[c + 1] - s.compStart[c] == 1 && RunsAsBlock(s, first);
        s.blockType[c] = block ? s.nodeType[first] : kNone;
        uint8_t kind = s.nodeVoice[first];
        for (int32_t i = s.compStart[c] + 1; i < s.compStart[c + 1]; ++i)
            if (s.nodeVoice[s.compNodes[i]] != s.nodeVoice[first]) kind = 2;
        s.partVoice[c] = kind;
    }
    std::sort(s.order, s.order + placed, [&s](int32_t a, int32_t b) {
        if (s.level[a] != s.level[b]) return s.level[a] < s.level[b];
        if (s.blockType[a] != s.blockType[b]) return s.blockType[a] < s.blockType[b];
        return s.compMin[a] < s.compMin[b];
    });
    return placed == parts;
}

// Forms the units: block modules of one type and depth side by side (up to kBatch, for
// the types whose rules batch), neighbouring frame-by-frame parts together.
int32_t FormUnits(Schedule& s, int32_t parts) noexcept {
    int32_t units = 0;
    int32_t memberCount = 0;
    int32_t previous = kNone;
    for (int32_t i = 0; i < parts; ++i) {
        const int32_t c = s.order[i];
        const int32_t first = s.compStart[c];
        const int32_t size = s.compStart[c + 1] - first;
        const int32_t type = s.blockType[c];
        const bool block = type != kNone;
        const bool voice = s.partVoice[c] == 1;
        bool join = false;
        if (units > 0 && previous != kNone) {
            const Unit& last = s.units[units - 1];
            if (last.voice != voice) {
                join = false;
            } else if (!block) {
                join = !last.block;
            } else {
                join = last.block && s.blockType[previous] == type &&
                       s.level[previous] == s.level[c] && last.count < kBatch && Batches(type);
            }
        }
        if (!join) {
            s.unitStart[units] = memberCount;
            s.units[units] = Unit{};
            s.units[units].block = block;
            s.units[units].voice = voice;
            ++units;
        }
        s.units[units - 1].count += size;
        previous = c;
        for (int32_t j = 0; j < size; ++j) {
            const int32_t n = s.compNodes[first + j];
            s.members[memberCount++] = n;
            s.unitOf[n] = units - 1;
        }
    }
    s.unitStart[units] = memberCount;
    // A group runs its members in list order.
    for (int32_t u = 0; u < units; ++u) {
        std::sort(s.members + s.unitStart[u], s.members + s.unitStart[u + 1]);
    }
    return units;
}

int32_t TakeStream(Schedule& s) noexcept {
    return s.freeCount > 0 ? s.freeList[--s.freeCount] : kNone;
}

// A stream that holds `value` on every frame, shared by everything that reads it.
int32_t ConstStream(Schedule& s, float value) noexcept {
    for (int32_t i = 0; i < s.constCount; ++i) {
        if (std::memcmp(&s.constValue[i], &value, sizeof value) == 0) return s.constStream[i];
    }
    const int32_t stream = TakeStream(s);
    if (stream == kNone || s.constCount == static_cast<int32_t>(std::size(s.constValue))) {
        return kNone;
    }
    std::fill(std::begin(s.streams[stream]), std::end(s.streams[stream]), value);
    s.constValue[s.constCount] = value;
    s.constStream[s.constCount++] = stream;
    return stream;
}

// What each module's unconnected direct reads give. False when streams run out.
bool PlanCell(Schedule& s, int32_t nodes) noexcept {
    s.anyStore = false;
    s.silentDiffers = false;
    s.constCount = 0;
    // The same walk without the voice modules' stores, for blocks with no voice sounding.
    bool anyStoreSilent = false;
    float endSilent = 0.0f;
    s.startStream = kNone;
    s.startThenStream = kNone;
    for (int32_t n = 0; n < nodes; ++n) {
        float value = 0.0f;
        s.stores[n] = CellStore(s.nodeType[n], s.route[n], value) ? 1 : 0;
        s.storeValue[n] = value;
        if (s.stores[n] != 0) {
            s.anyStore = true;
            s.endCell = value;
            if (s.nodeVoice[n] == 0) {
                anyStoreSilent = true;
                endSilent = value;
            }
        }
    }
    const auto differ = [](float a, float b) {
        return std::bit_cast<uint32_t>(a) != std::bit_cast<uint32_t>(b);
    };
    s.silentDiffers = anyStoreSilent != s.anyStore || (s.anyStore && differ(endSilent, s.endCell));
    bool before = false, beforeSilent = false;
    float last = 0.0f, lastSilent = 0.0f;
    for (int32_t n = 0; n < nodes; ++n) {
        int32_t stream = kNone;
        if (s.stores[n] != 0) {
            stream = ConstStream(s, s.storeValue[n]);
        } else if (!ReadsDirect(s.nodeType[n])) {
            s.cellStream[n] = kNone;
            continue;
        } else if (before) {
            stream = ConstStream(s, last);
        } else if (s.anyStore) {
            if (s.startThenStream == kNone) {
                s.startThenStream = TakeStream(s);
                if (s.startThenStream == kNone) return false;
                std::fill(std::begin(s.streams[s.startThenStream]),
                          std::end(s.streams[s.startThenStream]), s.endCell);
            }
            stream = s.startThenStream;
        } else {
            if (s.startStream == kNone) s.startStream = TakeStream(s);
            stream = s.startStream;
        }
        if (stream == kNone) return false;
        s.cellStream[n] = stream;
        if (s.stores[n] == 0 && s.nodeVoice[n] == 0 &&
            (before != beforeSilent || differ(last, lastSilent)))
            s.silentDiffers = true;
        if (s.stores[n] != 0) {
            before = true;
            last = s.storeValue[n];
            if (s.nodeVoice[n] == 0) {
                beforeSilent = true;
                lastSilent = last;
            }
        }
    }
    return true;
}

// Marks the values read across units and gives each a stream for its lifetime.
bool PlanStreams(Schedule& s, int32_t nodes, int32_t units, const int8_t* exitSpan) noexcept {
    for (int32_t n = 0; n < nodes; ++n) {
        for (int32_t k = 0; k < kPortsPerSlot; ++k) {
            const int32_t r = s.route[n][k];
            const int32_t m = s.owner[n][k];
            if (m == kNone || s.unitOf[m] == s.unitOf[n]) continue;
            if (s.portStamp[r] != s.stamp) {
                s.portStamp[r] = s.stamp;
                s.portLastUnit[r] = s.unitOf[n];
            } else {
                s.portLastUnit[r] = std::max(s.portLastUnit[r], s.unitOf[n]);
            }
        }
    }
    // The outputs of a voice group that once-only modules read are summed over the voices
    // from streams, every output that the voices' silence check watches among them.
    for (int32_t n = 0; n < nodes && exitSpan != nullptr; ++n) {
        const int32_t u = s.unitOf[n];
        if (!s.units[u].voice) continue;
        for (int32_t k = 0; k < exitSpan[s.nodeSlot[n]]; ++k) {
            const int32_t port = PortIndex(s.nodeSlot[n], k);
            if (s.portStamp[port] != s.stamp) {
                s.portStamp[port] = s.stamp;
                s.portLastUnit[port] = u;
            }
        }
    }
    std::fill(s.releaseHead, s.releaseHead + units + 1, kNone);
    for (int32_t u = 0; u < units; ++u) {
        for (int32_t b = s.releaseHead[u]; b != kNone; b = s.releaseNext[b]) {
            s.freeList[s.freeCount++] = b;
        }
        for (int32_t i = s.unitStart[u]; i < s.unitStart[u + 1]; ++i) {
            const int32_t n = s.members[i];
            for (int32_t k = 0; k < kPortsPerSlot; ++k) {
                const int32_t port = PortIndex(s.nodeSlot[n], k);
                if (s.portStamp[port] != s.stamp) continue;
                const int32_t stream = TakeStream(s);
                if (stream == kNone) return false;
                s.portStream[port] = stream;
                const int32_t release = s.portLastUnit[port] + 1;
                s.releaseNext[stream] = s.releaseHead[release];
                s.releaseHead[release] = stream;
            }
        }
    }
    return true;
}

bool Streamed(const Schedule& s, int32_t port) noexcept {
    return s.portStamp[port] == s.stamp;
}

void EmitBlockModule(Schedule& s, Unit& unit, int32_t n, int32_t j) noexcept {
    s.voiceViews[s.moduleCount] = 0;
    s.voiceOuts[s.moduleCount] = 0;
    for (int32_t k = 0; k < kPortsPerSlot && s.nodeVoice[n] != 0; ++k) {
        const int32_t owner = s.owner[n][k];
        if (owner != kNone && s.nodeVoice[owner] != 0) s.voiceViews[s.moduleCount] |= 1u << k;
        if (Streamed(s, PortIndex(s.nodeSlot[n], k))) s.voiceOuts[s.moduleCount] |= 1u << k;
    }
    BlockModule& m = s.modules[s.moduleCount++];
    m = BlockModule{};
    m.type = s.nodeType[n];
    m.slot = s.nodeSlot[n];
    for (int32_t k = 0; k < kPortsPerSlot; ++k) {
        const int32_t r = s.route[n][k];
        if (r == kNone) continue;
        // A source earlier in the list gives this frame's value, a later one the frame
        // before's.
        const int32_t late = s.owner[n][k] < n ? 0 : 1;
        m.view[k] = s.streams[s.portStream[r]] + 1 - late;
    }
    if (s.cellStream[n] != kNone) {
        m.cell = s.streams[s.cellStream[n]] + 1;
        bool fixed = false;
        for (int32_t i = 0; i < s.constCount; ++i)
            fixed = fixed || s.constStream[i] == s.cellStream[n];
        for (int32_t k = 0; k < kPortsPerSlot && fixed; ++k) {
            if (m.view[k] == nullptr) m.steady |= 1u << k;
        }
    }
    unit.outputMask = BlockOutputMask(m.type);
    for (int32_t k = 0; k < kPortsPerSlot; ++k) {
        const int32_t port = PortIndex(m.slot, k);
        if (Streamed(s, port)) {
            m.out[k] = s.streams[s.portStream[port]] + 1;
            if ((unit.outputMask >> k & 1u) == 0) unit.fillMask[j] |= 1u << k;
        } else {
            m.out[k] = s.sinks[j][k] + 1;
        }
    }
}

bool AddOp(Schedule& s, int32_t kind, int32_t a, int32_t b) noexcept {
    if (s.opCount >= kMaxOps) return false;
    s.ops[s.opCount++] = Op{kind, a, b};
    return true;
}

bool EmitGroupUnit(Schedule& s, Unit& unit, int32_t u) noexcept {
    const int32_t begin = s.unitStart[u];
    const int32_t end = s.unitStart[u + 1];
    // Streams this group writes: each starts with the value before the run.
    unit.primeBegin = s.primeCount;
    for (int32_t i = begin; i < end; ++i) {
        for (int32_t k = 0; k < kPortsPerSlot; ++k) {
            const int32_t port = PortIndex(s.nodeSlot[s.members[i]], k);
            if (Streamed(s, port)) s.primes[s.primeCount++] = {port, s.portStream[port]};
        }
    }
    unit.primeEnd = s.primeCount;
    // Values from outside the group, with the first and last member that reads each.
    const uint32_t token = ++s.token;
    int32_t externalCount = 0;
    for (int32_t i = begin; i < end; ++i) {
        const int32_t n = s.members[i];
        for (int32_t k = 0; k < kPortsPerSlot; ++k) {
            const int32_t m = s.owner[n][k];
            if (m == kNone || s.unitOf[m] == u) continue;
            const int32_t r = s.route[n][k];
            if (s.extStamp[r] != token) {
                s.extStamp[r] = token;
                s.extMin[r] = n;
                s.extMax[r] = n;
                s.externals[externalCount++] = r;
            } else {
                s.extMin[r] = std::min(s.extMin[r], n);
                s.extMax[r] = std::max(s.extMax[r], n);
            }
        }
    }
    // Per frame: a value from later in the list starts at its previous frame's, and
    // turns to this frame's where its source stands in the list.
    unit.opBegin = s.opCount;
    int32_t eventCount = 0;
    for (int32_t i = 0; i < externalCount; ++i) {
        const int32_t r = s.externals[i];
        const int32_t q = s.slotNode[SlotOfPort(r)];
        if (s.extMin[r] < q && !AddOp(s, kOpLoadBefore, r, s.portStream[r])) return false;
        if (s.extMax[r] > q) s.events[eventCount++] = int64_t{q} << 32 | (int64_t{1} << 24) | i;
    }
    for (int32_t i = begin; i < end; ++i) s.events[eventCount++] = int64_t{s.members[i]} << 32;
    std::sort(s.events, s.events + eventCount);
    for (int32_t e = 0; e < eventCount; ++e) {
        const int64_t event = s.events[e];
        if ((event >> 24 & 1) != 0) {
            const int32_t r = s.externals[event & 0xFFFFFF];
            if (!AddOp(s, kOpLoadNow, r, s.portStream[r])) return false;
            continue;
        }
        const auto n = static_cast<int32_t>(event >> 32);
        if (s.stores[n] == 0 && s.cellStream[n] != kNone &&
            !AddOp(s, kOpSetCell, 0, s.cellStream[n])) {
            return false;
        }
        const bool voiceStep = s.nodeVoice[n] != 0 && !unit.voice;
        unit.mixed = unit.mixed || voiceStep;
        const int32_t step = voiceStep ? kOpVoiceStep : kOpStep;
        if (!AddOp(s, step, s.nodeType[n], s.nodeSlot[n])) return false;
        for (int32_t k = 0; k < kPortsPerSlot; ++k) {
            const int32_t port = PortIndex(s.nodeSlot[n], k);
            if (Streamed(s, port) && !AddOp(s, kOpStore, port, s.portStream[port])) return false;
        }
    }
    unit.opEnd = s.opCount;
    // After the run every value from outside is left at its last frame's.
    unit.restoreBegin = s.restoreCount;
    for (int32_t i = 0; i < externalCount; ++i) {
        const int32_t r = s.externals[i];
        s.restores[s.restoreCount++] = {r, s.portStream[r]};
    }
    unit.restoreEnd = s.restoreCount;
    return true;
}

// Every module of the active list runs exactly once per frame under the plan: once as a
// block module or once as a step of a group unit.
[[maybe_unused]] bool PlanCoversEveryModuleOnce(const Schedule& s, int32_t nodes) noexcept {
    uint8_t runs[kSlotCount] = {};
    for (int32_t m = 0; m < s.moduleCount; ++m) {
        const int32_t slot = s.modules[m].slot;
        if (!IsSlot(slot) || ++runs[slot] > 1) return false;
    }
    for (int32_t o = 0; o < s.opCount; ++o) {
        if (s.ops[o].kind != kOpStep && s.ops[o].kind != kOpVoiceStep) continue;
        const int32_t slot = s.ops[o].b;
        if (!IsSlot(slot) || ++runs[slot] > 1) return false;
    }
    int32_t planned = 0;
    for (int32_t n = 0; n < nodes; ++n) {
        if (runs[s.nodeSlot[n]] != 1) return false;
        ++planned;
    }
    for (uint8_t r : runs) planned -= r;
    return planned == 0;
}

enum class Built { kPlan, kNone, kMixed };

Built BuildOnce(Schedule& s, const Project& p, const VoicePlan* voices) noexcept {
    ++s.stamp;
    s.unitCount = 0;
    s.moduleCount = 0;
    s.opCount = 0;
    s.primeCount = 0;
    s.restoreCount = 0;
    s.exitCount = 0;
    s.stats = ScheduleStats{};
    int32_t nodes = 0;
    if (!ReadTables(s, p, voices != nullptr ? voices->perVoice : nullptr, nodes))
        return Built::kNone;
    JoinSharedState(s, nodes);
    BuildGroupEdges(s, nodes);
    const int32_t parts = FindLoops(s, nodes);
    if (!OrderParts(s, nodes, parts)) return Built::kNone;
    if (!s.joinVoices && std::find(s.partVoice, s.partVoice + parts, 2) != s.partVoice + parts)
        return Built::kMixed;
    const int32_t units = FormUnits(s, parts);
    s.freeCount = 0;
    for (int32_t b = kStreamCount - 1; b >= 0; --b) s.freeList[s.freeCount++] = b;
    const int8_t* exitSpan = voices != nullptr ? voices->exitSpan : nullptr;
    if (!PlanCell(s, nodes) || !PlanStreams(s, nodes, units, exitSpan)) return Built::kNone;
    for (int32_t u = 0; u < units; ++u) {
        Unit& unit = s.units[u];
        if (unit.block) {
            unit.module = s.moduleCount;
            for (int32_t j = 0; j < unit.count; ++j) {
                EmitBlockModule(s, unit, s.members[s.unitStart[u] + j], j);
            }
            s.stats.modules += unit.count;
        } else {
            if (!EmitGroupUnit(s, unit, u)) return Built::kNone;
            ++s.stats.groups;
            s.stats.grouped += s.unitStart[u + 1] - s.unitStart[u];
        }
        unit.exitBegin = s.exitCount;
        for (int32_t i = s.unitStart[u]; i < s.unitStart[u + 1]; ++i) {
            const int32_t n = s.members[i];
            s.stats.voiced += s.nodeVoice[n];
            for (int32_t k = 0; unit.voice && k < exitSpan[s.nodeSlot[n]]; ++k) {
                const int32_t port = PortIndex(s.nodeSlot[n], k);
                s.exits[s.exitCount++] = {port, s.portStream[port]};
            }
        }
        unit.exitEnd = s.exitCount;
    }
    s.unitCount = units;
    TW_ASSERT(PlanCoversEveryModuleOnce(s, nodes));
    s.stats.planned = true;
    s.stats.buffers = kStreamCount - s.freeCount;
    return Built::kPlan;
}

// Voice modules run group by group where they can, each group over a run of frames for
// one voice after another; only where a loop ties voice and once-only modules into one
// group must the voices run side by side, frame by frame.
bool Build(Schedule& s, const Project& p, const VoicePlan* voices) noexcept {
    s.joinVoices = false;
    Built built = BuildOnce(s, p, voices);
    if (built == Built::kMixed) {
        s.joinVoices = true;
        built = BuildOnce(s, p, voices);
    }
    return built == Built::kPlan;
}

void BeforeBlock(Engine& e, const BlockModule& m, uint32_t mask, uint32_t fill,
                 uint32_t n) noexcept {
    const int32_t p = PortIndex(m.slot, 0);
    for (uint32_t bits = mask | fill; bits != 0; bits &= bits - 1) {
        const int32_t k = std::countr_zero(bits);
        m.out[k][-1] = e.outputs[p + k];
    }
    for (uint32_t bits = fill; bits != 0; bits &= bits - 1) {
        const int32_t k = std::countr_zero(bits);
        std::fill(m.out[k], m.out[k] + n, e.outputs[p + k]);
    }
}

void AfterBlock(Engine& e, const BlockModule& m, uint32_t mask, uint32_t n) noexcept {
    const int32_t p = PortIndex(m.slot, 0);
    for (uint32_t bits = mask; bits != 0; bits &= bits - 1) {
        const int32_t k = std::countr_zero(bits);
        e.outputs[p + k] = m.out[k][n - 1];
    }
    // The input copies as the frame loop leaves them: a first run after a change of type
    // copies all sixteen positions (on its first frame), every frame its own inputs.
    const int32_t span = e.inputSpan[m.type];
    if (e.lastType[m.slot] != m.type) {
        e.lastType[m.slot] = m.type;
        for (int32_t k = span; k < kPortsPerSlot; ++k) {
            e.inputs[p + k] = m.view[k] != nullptr ? m.view[k][0] : 0.0f;
        }
    }
    for (int32_t k = 0; k < span; ++k) {
        e.inputs[p + k] = m.view[k] != nullptr ? m.view[k][n - 1] : 0.0f;
    }
}

void RunBlockUnit(Engine& e, const Schedule& s, const Unit& unit, uint32_t n,
                  const RunTarget& target) noexcept {
    const BlockModule* m = s.modules + unit.module;
    for (int32_t j = 0; j < unit.count; ++j)
        BeforeBlock(e, m[j], unit.outputMask, unit.fillMask[j], n);
    // The plan holds a block unit only for a type with a block rule.
    TW_ASSERT(HasBlockRule(m->type));
    FactsOf(m->type).block(e, m, unit.count, n, target);
    for (int32_t j = 0; j < unit.count; ++j) AfterBlock(e, m[j], unit.outputMask, n);
}

// kMixed: the group runs voice modules too, once per sounding voice (kept apart so that
// the loop of a design without them stays as tight as it was).
template <bool kMixed>
void RunGroupUnit(Engine& e, Schedule& s, const Unit& unit, uint32_t n,
                  const RunTarget& target) noexcept {
    for (int32_t i = unit.primeBegin; i < unit.primeEnd; ++i) {
        s.streams[s.primes[i].stream][0] = e.outputs[s.primes[i].port];
    }
    const Op* const first = s.ops + unit.opBegin;
    const Op* const last = s.ops + unit.opEnd;
    for (uint32_t f = 0; f < n; ++f) {
        for (const Op* op = first; op != last; ++op) {
            switch (op->kind) {
            case kOpLoadBefore:
                e.outputs[op->a] = s.streams[op->b][f];
                break;
            case kOpLoadNow:
                e.outputs[op->a] = s.streams[op->b][f + 1];
                break;
            case kOpSetCell:
                e.unconnected = s.streams[op->b][f + 1];
                break;
            case kOpStep:
                StepModule(e, op->a, op->b, target.block, target.frames, target.begin + f);
                break;
            default:
                if constexpr (kMixed) {
                    if (op->kind == kOpVoiceStep) {
                        StepVoices(e, op->a, op->b, target.block, target.frames, target.begin + f);
                        break;
                    }
                }
                s.streams[op->b][f + 1] = e.outputs[op->a];
                break;
            }
        }
    }
    for (int32_t i = unit.restoreBegin; i < unit.restoreEnd; ++i) {
        e.outputs[s.restores[i].port] = s.streams[s.restores[i].stream][n];
    }
}

// A voice engine never runs a plan of its own: its plan memory holds the streams of the
// voice's own values, at the places the main plan gives them.
float (*VoiceStreams(const Engine& voice) noexcept)[kStride] {
    return voice.schedule->streams;
}

// The voices' values of a voice group's outputs that once-only modules read, summed in
// voice order into the main engine's streams (0 with no voice sounding).
void SumVoiceExits(Engine& e, Schedule& s, const Unit& unit, uint32_t n) noexcept {
    VoiceBank& b = *e.voices;
    for (int32_t i = unit.exitBegin; i < unit.exitEnd; ++i) {
        const PortStream exit = s.exits[i];
        float* sum = s.streams[exit.stream];
        sum[0] = e.outputs[exit.port];
        std::fill(sum + 1, sum + 1 + n, 0.0f);
        for (int32_t r = 0; r < b.sounding; ++r) {
            const float* x = VoiceStreams(*b.soundingEngines[r])[exit.stream];
            float& peak = b.alloc.peak[b.running[r]];
            for (uint32_t f = 1; f <= n; ++f) {
                sum[f] += x[f];
                KeepPeak(peak, x[f]);
            }
        }
        e.outputs[exit.port] = sum[n];
    }
}

void MoveToVoice(BlockModule& m, uint32_t views, uint32_t outs, const float* from,
                 float* to) noexcept {
    for (uint32_t bits = views; bits != 0; bits &= bits - 1) {
        const int32_t k = std::countr_zero(bits);
        m.view[k] = to + (m.view[k] - from);
    }
    for (uint32_t bits = outs; bits != 0; bits &= bits - 1) {
        const int32_t k = std::countr_zero(bits);
        m.out[k] = to + (m.out[k] - from);
    }
}

// A block unit of voice modules, run for one sounding voice after another. (The voices'
// runners stay out of line so that the plan's loop stays small for designs without them.)
[[gnu::noinline]] void RunVoiceBlockUnit(Engine& e, Schedule& s, const Unit& unit, uint32_t n,
                                         const RunTarget& target) noexcept {
    VoiceBank& b = *e.voices;
    BlockModule* m = s.modules + unit.module;
    BlockModule saved[kBatch];
    std::copy(m, m + unit.count, saved);
    for (int32_t r = 0; r < b.sounding; ++r) {
        Engine& voice = *b.soundingEngines[r];
        for (int32_t j = 0; j < unit.count; ++j) {
            m[j] = saved[j];
            MoveToVoice(m[j], s.voiceViews[unit.module + j], s.voiceOuts[unit.module + j],
                        s.streams[0], VoiceStreams(voice)[0]);
        }
        RunBlockUnit(voice, s, unit, n, target);
    }
    std::copy(saved, saved + unit.count, m);
    SumVoiceExits(e, s, unit, n);
}

// A frame-by-frame group of voice modules, run over the whole run for one sounding voice
// after another: each voice's values stay in its own engine and streams.
[[gnu::noinline]] void RunVoiceGroupUnit(Engine& e, Schedule& s, const Unit& unit, uint32_t n,
                                         const RunTarget& target) noexcept {
    VoiceBank& b = *e.voices;
    const Op* const first = s.ops + unit.opBegin;
    const Op* const last = s.ops + unit.opEnd;
    for (int32_t r = 0; r < b.sounding; ++r) {
        Engine& voice = *b.soundingEngines[r];
        float(*own)[kStride] = VoiceStreams(voice);
        // A value from another group: the voice's own, or the once-only part's.
        const auto from = [&](int32_t port, int32_t stream) -> const float* {
            return s.slotVoice[SlotOfPort(port)] != 0 ? own[stream] : s.streams[stream];
        };
        for (int32_t i = unit.primeBegin; i < unit.primeEnd; ++i)
            own[s.primes[i].stream][0] = voice.outputs[s.primes[i].port];
        for (uint32_t f = 0; f < n; ++f) {
            for (const Op* op = first; op != last; ++op) {
                switch (op->kind) {
                case kOpLoadBefore:
                    voice.outputs[op->a] = from(op->a, op->b)[f];
                    break;
                case kOpLoadNow:
                    voice.outputs[op->a] = from(op->a, op->b)[f + 1];
                    break;
                case kOpSetCell:
                    voice.unconnected = s.streams[op->b][f + 1];
                    break;
                case kOpStore:
                    own[op->b][f + 1] = voice.outputs[op->a];
                    break;
                default:
                    StepModule(voice, op->a, op->b, target.block, target.frames, target.begin + f);
                    break;
                }
            }
        }
        for (int32_t i = unit.restoreBegin; i < unit.restoreEnd; ++i)
            voice.outputs[s.restores[i].port] = from(s.restores[i].port, s.restores[i].stream)[n];
    }
    SumVoiceExits(e, s, unit, n);
}

[[gnu::noinline]] void RunMixedGroupUnit(Engine& e, Schedule& s, const Unit& unit, uint32_t n,
                                         const RunTarget& target) noexcept {
    RunGroupUnit<true>(e, s, unit, n, target);
}

// Inlined whole: the units run in a tight loop, and each call would cost more than some
// of the short units it runs.
[[gnu::flatten]] void RunPlan(Engine& e, Schedule& s, const RunTarget& target,
                              uint32_t n) noexcept {
    const float start = e.unconnected;
    if (s.startStream != kNone)
        std::fill(s.streams[s.startStream] + 1, s.streams[s.startStream] + 1 + n, start);
    if (s.startThenStream != kNone) s.streams[s.startThenStream][1] = start;
    for (int32_t u = 0; u < s.unitCount; ++u) {
        const Unit& unit = s.units[u];
        if (unit.voice) {
            if (unit.block) {
                RunVoiceBlockUnit(e, s, unit, n, target);
            } else {
                RunVoiceGroupUnit(e, s, unit, n, target);
            }
        } else if (unit.block) {
            RunBlockUnit(e, s, unit, n, target);
        } else {
            if (unit.mixed) {
                RunMixedGroupUnit(e, s, unit, n, target);
            } else {
                RunGroupUnit<false>(e, s, unit, n, target);
            }
        }
    }
    e.unconnected = s.anyStore ? s.endCell : start;
}

// Rebuilds the plan when the tables it was derived from have changed; false when there is
// no plan to run (the tables do not fit it).
bool PlanFor(Engine& e, uint32_t generation, const VoicePlan* voices) noexcept {
    Schedule& s = *e.schedule;
    const Project& p = e.project;
    const bool voiced = voices != nullptr;
    if (!s.built || s.generation != generation || s.voiced != voiced ||
        s.count != std::clamp<int32_t>(p.activeCount, 0, kSlotCount)) {
        // Built from tables caught half-rebuilt the plan is still safe to run; the
        // generation read before the build makes the next block build it again.
        s.valid = Build(s, p, voices);
        s.built = true;
        s.generation = generation;
        s.voiced = voiced;
        if (!s.valid) s.stats = ScheduleStats{};
    }
    return s.valid;
}

void RunPlanBlock(Engine& e, float* block, uint32_t frames) noexcept {
    for (uint32_t begin = 0; begin < frames;) {
        const uint32_t n = std::min(kRunFrames, frames - begin);
        RunPlan(e, *e.schedule, RunTarget{block, frames, begin}, n);
        begin += n;
    }
}

} // namespace

void RunSchedule(Engine& e, float* block, uint32_t frames) noexcept {
    // A single frame costs the plan more than the plain loop, which leaves every value
    // as the plan would.
    const uint32_t generation = e.project.tableGeneration.load(std::memory_order_acquire);
    if (frames == 1 || !PlanFor(e, generation, nullptr)) {
        RunFrameLoop(e, block, frames);
        return;
    }
    RunPlanBlock(e, block, frames);
}

bool RunVoiceSchedule(Engine& e, float* block, uint32_t frames, const VoicePlan& voices,
                      bool anySounding) noexcept {
    if (frames == 1 || !PlanFor(e, voices.generation, &voices)) return false;
    if (!anySounding && e.schedule->silentDiffers) return false;
    RunPlanBlock(e, block, frames);
    return true;
}

ScheduleStats LastScheduleStats(const Engine& e) noexcept {
    return e.schedule->stats;
}

} // namespace tw
