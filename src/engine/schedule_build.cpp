// Deriving the run plan from the route table and the active-object list.
#include "engine/schedule_plan.h"

#include "engine/engine.h"
#include "engine/type_facts.h"
#include "model/checks.h"

#include <algorithm>
#include <iterator>

namespace tw {

namespace {

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

} // namespace

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

} // namespace tw
