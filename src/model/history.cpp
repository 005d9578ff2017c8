#include "model/history.h"

#include "model/checks.h"
#include "model/text.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <new>
#include <type_traits>

namespace tw {

namespace {

// What a byte of the record means to the history.
enum ByteClass : uint8_t {
    kUntouched = 0,   // never read or written: words shared with the audio thread, bitmap
                      // handles, the view, the environment the program found
    kPadding = 1,     // between fields: copied along inside a run, differences ignored
    kCarried = 2,     // selection, current objects, screen positions: recorded with a step
                      // but never a step of their own
    kSignificant = 3, // what the user builds
};

// Two bytes that differ this close together go into one run, so that a step is not a
// long list of one-byte runs.
constexpr uint32_t kRunGap = 16;

struct RecordLayout {
    std::vector<uint8_t> classOf;                        // one entry per byte of the record
    std::vector<std::pair<uint32_t, uint32_t>> readable; // [begin, end) runs of readable bytes
};

// A record constructed over memory filled with `fill`, so that the bytes the constructor
// never writes (padding) show by comparing two of them.
struct FilledRecord {
    explicit FilledRecord(unsigned char fill)
        : memory(::operator new (sizeof(Project), std::align_val_t{alignof(Project)})) {
        std::memset(memory, fill, sizeof(Project));
        record = new (memory) Project();
    }
    ~FilledRecord() {
        record->~Project();
        ::operator delete (memory, std::align_val_t{alignof(Project)});
    }
    FilledRecord(const FilledRecord&) = delete;
    FilledRecord& operator=(const FilledRecord&) = delete;
    const unsigned char* Bytes() const { return static_cast<const unsigned char*>(memory); }
    void* memory;
    Project* record;
};

// The history copies the record's bytes: every field it copies must be plain bytes, and
// every field must have a class in BuildLayout. The fields it leaves alone (the shared
// pictures, the words shared with the audio thread) are the only ones that may be
// anything else. A field added to the record changes its size and stops the build here
// until it has been given its class below and the size has been stated again.
template <typename... Field>
constexpr bool kPlainBytes = (std::is_trivially_copyable_v<Field> && ...);
static_assert(
    kPlainBytes<PortRecord, KeyRecord, CommentRecord, PanelPolygon, PanelText, WindowPlacement>,
    "a field the history copies as bytes must be trivially copyable");
// A module slot holds two words shared with the audio thread, left alone; the rest is
// copied, so it is checked field by field.
#define TW_SLOT_FIELDS(f)                                                                          \
    f(gx), f(gy), f(heightUnits), f(anchorX), f(originX), f(topY), f(originY), f(type),            \
        f(halfWidthPx), f(halfWidthUnits), f(heightPx), f(typeName), f(helpPage), f(imageType),    \
        f(controlSize), f(spareValues), f(panelX), f(panelY), f(name), f(mouseResponse),           \
        f(renderOnBackground), f(stepDirection), f(showLabel), f(selected), f(patchValues),        \
        f(steps), f(cleanMark), f(labelColour), f(midiCc)
#define TW_SLOT_FIELD_TYPE(field) decltype(ModuleSlot::field)
#define TW_SLOT_FIELD_SIZE(field) sizeof(ModuleSlot::field)
static_assert(kPlainBytes<TW_SLOT_FIELDS(TW_SLOT_FIELD_TYPE)>,
              "a field the history copies as bytes must be trivially copyable");
// Those fields and the two shared words fill the slot but for its 13 bytes of padding
// (on 64-bit Linux): a field added to the slot and not listed above stops the build here.
template <std::size_t... Size> constexpr std::size_t kSumOf = (Size + ...);
constexpr std::size_t kSlotFieldBytes =
    kSumOf<TW_SLOT_FIELDS(TW_SLOT_FIELD_SIZE)> + 2 * sizeof(Relaxed<float>);
static_assert(kSlotFieldBytes <= sizeof(ModuleSlot) &&
                  (sizeof(void*) != 8 || sizeof(ModuleSlot) - kSlotFieldBytes == 13),
              "ModuleSlot changed: list the new field above and give it its history class");
#undef TW_SLOT_FIELD_SIZE
#undef TW_SLOT_FIELD_TYPE
#undef TW_SLOT_FIELDS
static_assert(sizeof(void*) != 8 || sizeof(Project) == 2567600,
              "Project changed: give each new field its history class in BuildLayout, then "
              "state the new size here");

RecordLayout BuildLayout() {
    RecordLayout layout;
    layout.classOf.assign(sizeof(Project), kSignificant);
    const FilledRecord zeros(0x00);
    const FilledRecord ones(0xFF);
    for (std::size_t i = 0; i < sizeof(Project); ++i) {
        if (zeros.Bytes()[i] != ones.Bytes()[i]) layout.classOf[i] = kPadding;
    }
    const Project& p = *zeros.record;
    const auto* base = reinterpret_cast<const unsigned char*>(&p);
    auto mark = [&](const auto& field, ByteClass c) {
        const auto* at = reinterpret_cast<const unsigned char*>(&field);
        const auto offset = static_cast<std::size_t>(at - base);
        std::fill_n(layout.classOf.begin() + static_cast<std::ptrdiff_t>(offset), sizeof field, c);
    };

    // Where the project is and what the program found around it.
    mark(p.fileVersion, kUntouched);
    mark(p.openLastProject, kUntouched);
    mark(p.projectPath, kUntouched);
    mark(p.appFolder, kUntouched);
    mark(p.settingsFolder, kUntouched);
    mark(p.userFolder, kUntouched);
    mark(p.skinImages, kUntouched); // read again from the skin's name after a step
    mark(p.background, kUntouched);
    mark(p.skinCount, kUntouched);
    mark(p.skinFolders, kUntouched);
    // The view and the editor's switches.
    mark(p.viewOriginX, kUntouched);
    mark(p.viewOriginY, kUntouched);
    mark(p.cableStyle, kUntouched);
    mark(p.snapToGrid, kUntouched);
    mark(p.lockEdit, kUntouched);
    mark(p.guiEditMode, kUntouched);
    mark(p.zoom, kUntouched);
    mark(p.previousZoom, kUntouched);
    mark(p.portSize, kUntouched);
    mark(p.halfPortSize, kUntouched);
    mark(p.commentBoxWidth, kUntouched);
    mark(p.commentBoxHeight, kUntouched);
    mark(p.windows, kUntouched);
    mark(p.clipboardType, kUntouched);
    mark(p.keys, kUntouched);
    mark(p.baseNote, kUntouched);
    // Shared with the audio thread: rebuilt from the cables and patch values after a step.
    mark(p.routes, kUntouched);
    mark(p.activeTypes, kUntouched);
    mark(p.activeSlots, kUntouched);
    mark(p.activeCount, kUntouched);
    mark(p.tableGeneration, kUntouched);
    mark(p.currentPatch, kUntouched);

    mark(p.currentSlot, kCarried);
    mark(p.currentComment, kCarried);
    mark(p.currentPolygon, kCarried);
    mark(p.currentText, kCarried);
    mark(p.propertiesTarget, kCarried);
    mark(p.moduleCount, kCarried);
    mark(p.editRandomState, kCarried);
    for (const ModuleSlot& s : p.slots) {
        mark(s.displayValue, kUntouched);
        mark(s.value, kUntouched);
        for (const auto* f :
             {&s.anchorX, &s.originX, &s.topY, &s.originY, &s.halfWidthPx, &s.heightPx}) {
            mark(*f, kCarried);
        }
        mark(s.selected, kCarried);
        mark(s.cleanMark, kCarried);
        mark(s.controlSize, kCarried); // follows the skin's images when the panel is drawn
    }
    for (const PortRecord* table : {p.inputs, p.outputs}) {
        for (int32_t k = 0; k < kPortCount; ++k) {
            mark(table[k].x, kCarried);
            mark(table[k].y, kCarried);
        }
    }
    for (const CommentRecord& c : p.comments) {
        for (const auto* f : {&c.x, &c.y, &c.originX, &c.originY}) mark(*f, kCarried);
        mark(c.selected, kCarried);
        mark(c.clicked, kCarried);
    }

    for (uint32_t i = 0; i < sizeof(Project);) {
        if (layout.classOf[i] == kUntouched) {
            ++i;
            continue;
        }
        uint32_t end = i;
        while (end < sizeof(Project) && layout.classOf[end] != kUntouched) ++end;
        layout.readable.emplace_back(i, end);
        i = end;
    }
    // The runs and the bytes left alone together cover every byte of the record once.
    TW_ASSERT(layout.classOf.size() == sizeof(Project));
    [[maybe_unused]] std::size_t covered = 0;
    for (std::size_t b = 0; b < sizeof(Project); ++b) covered += layout.classOf[b] == kUntouched;
    for (const auto& run : layout.readable) covered += run.second - run.first;
    TW_ASSERT(covered == sizeof(Project));
    return layout;
}

const RecordLayout& Layout() {
    static const RecordLayout layout = BuildLayout();
    return layout;
}

template <typename Field> uint32_t OffsetOf(const Project& p, const Field& field) {
    return static_cast<uint32_t>(reinterpret_cast<const unsigned char*>(&field) -
                                 reinterpret_cast<const unsigned char*>(&p));
}

// A field's value as the shadow holds it.
template <typename Field>
Field ShadowValue(const uint8_t* shadow, const Project& p, const Field& field) {
    Field value;
    std::memcpy(&value, shadow + OffsetOf(p, field), sizeof value);
    return value;
}

template <typename Field>
bool ShadowDiffers(const uint8_t* shadow, const Project& p, const Field& field) {
    return std::memcmp(shadow + OffsetOf(p, field), &field, sizeof field) != 0;
}

bool RunsTouch(const std::vector<uint32_t>& runs, uint32_t begin, uint32_t end) {
    for (std::size_t r = 0; r < runs.size(); r += 2) {
        if (runs[r] < end && begin < runs[r] + runs[r + 1]) return true;
    }
    return false;
}

std::string Counted(int32_t n, const char* one, const char* many) {
    return n == 1 ? std::string(one) : std::to_string(n) + " " + many;
}

// What a Parameter's control is called in step names.
const char* ControlKind(int32_t imageType) {
    if (imageType == 5) return "Switch";
    if (imageType == 6) return "LED";
    return "Knob";
}

} // namespace

void EditHistory::CopyRuns(uint8_t* target, const Step& step, bool after) {
    const std::vector<uint8_t>& source = after ? step.after : step.before;
    std::size_t at = 0;
    for (std::size_t r = 0; r < step.runs.size(); r += 2) {
        std::memcpy(target + step.runs[r], source.data() + at, step.runs[r + 1]);
        at += step.runs[r + 1];
    }
}

void EditHistory::Settle(const Project& project) {
    bool significant = false;
    CopyRuns(shadow_.get(), Diff(project, significant), true);
    shadowZoom_ = project.zoom;
}

std::size_t EditHistory::Step::Bytes() const noexcept {
    return sizeof(Step) + name.capacity() + runs.capacity() * sizeof(uint32_t) + before.capacity() +
           after.capacity();
}

EditHistory::EditHistory(std::size_t memoryLimit) : memoryLimit_(memoryLimit) {}

EditHistory::~EditHistory() = default;

void EditHistory::Reset(const Project& project) {
    if (!shadow_) shadow_ = std::make_unique<uint8_t[]>(sizeof(Project));
    const auto* bytes = reinterpret_cast<const uint8_t*>(&project);
    for (const auto& [begin, end] : Layout().readable) {
        std::memcpy(shadow_.get() + begin, bytes + begin, end - begin);
    }
    hasShadow_ = true;
    shadowZoom_ = project.zoom;
    steps_.clear();
    position_ = 0;
    stepBytes_ = 0;
    baseSerial_ = nextSerial_++;
    savedSerial_ = baseSerial_;
    mergeOpen_ = false;
    ++revision_;
}

EditHistory::Step EditHistory::Diff(const Project& project, bool& significant) const {
    const RecordLayout& layout = Layout();
    const auto* now = reinterpret_cast<const uint8_t*>(&project);
    const uint8_t* was = shadow_.get();
    Step step;
    significant = false;
    for (const auto& [begin, end] : layout.readable) {
        bool open = false;
        uint32_t runStart = 0;
        uint32_t lastDiff = 0;
        auto close = [&] {
            if (!open) return;
            const uint32_t length = lastDiff + 1 - runStart;
            step.runs.push_back(runStart);
            step.runs.push_back(length);
            step.before.insert(step.before.end(), was + runStart, was + runStart + length);
            step.after.insert(step.after.end(), now + runStart, now + runStart + length);
            open = false;
        };
        constexpr uint32_t kBlock = 64;
        for (uint32_t block = begin; block < end; block += kBlock) {
            const uint32_t blockEnd = std::min(end, block + kBlock);
            if (std::memcmp(now + block, was + block, blockEnd - block) == 0) continue;
            for (uint32_t i = block; i < blockEnd; ++i) {
                const uint8_t c = layout.classOf[i];
                if (now[i] == was[i] || c == kPadding) continue;
                significant = significant || c == kSignificant;
                if (open && i - lastDiff > kRunGap) close();
                if (!open) {
                    open = true;
                    runStart = i;
                }
                lastDiff = i;
            }
        }
        close();
    }
    return step;
}

std::string EditHistory::Describe(const Project& p, const Step& step, std::string_view verb) const {
    const uint8_t* was = shadow_.get();
    int32_t inserted = 0, deleted = 0, moved = 0, panelMoved = 0, valued = 0, edited = 0;
    int32_t learnt = 0, forgotten = 0;
    int32_t movedSlot = 0, panelSlot = 0, valueSlot = 0;
    const char* oneName = "";
    for (int32_t s = 0; s < kSlotCount; ++s) {
        const ModuleSlot& m = p.slots[s];
        const int32_t typeWas = ShadowValue(was, p, m.type);
        if (typeWas == m.type && m.type == kTypeEmpty) continue;
        if (m.type == kTypeEmpty) {
            ++deleted;
            oneName = ShadowValue(was, p, m.typeName);
        } else if (typeWas != m.type) {
            ++inserted;
            oneName = m.typeName;
        } else {
            const bool movedHere = ShadowDiffers(was, p, m.gx) || ShadowDiffers(was, p, m.gy);
            const bool panelHere =
                ShadowDiffers(was, p, m.panelX) || ShadowDiffers(was, p, m.panelY);
            const bool valueHere = ShadowDiffers(was, p, m.patchValues);
            moved += movedHere ? 1 : 0;
            panelMoved += panelHere ? 1 : 0;
            valued += valueHere ? 1 : 0;
            if (movedHere) movedSlot = s;
            if (panelHere) panelSlot = s;
            if (valueHere) valueSlot = s;
            edited += ShadowDiffers(was, p, m.name) ? 1 : 0;
            if (ShadowDiffers(was, p, m.midiCc)) {
                learnt += m.midiCc != kNone ? 1 : 0;
                forgotten += m.midiCc == kNone ? 1 : 0;
            }
        }
    }
    if (inserted > 0 || deleted > 0) {
        const int32_t n = inserted + deleted;
        std::string what = n == 1 ? std::string(oneName) : std::to_string(n) + " Modules";
        if (!verb.empty()) return std::string(verb) + " " + what;
        if (deleted == 0) return "Insert " + what;
        if (inserted == 0) return "Delete " + what;
        return "Change Modules";
    }
    if (!verb.empty()) return std::string(verb);

    int32_t linked = 0, unlinked = 0;
    for (int32_t k = 0; k < kPortCount; ++k) {
        const int32_t now = p.outputs[k].link;
        const int32_t then = ShadowValue(was, p, p.outputs[k].link);
        if (now == then) continue;
        linked += now != kNone ? 1 : 0;
        unlinked += then != kNone ? 1 : 0;
    }
    if (linked > 0 && unlinked > 0) return linked == 1 ? "Move Cable" : "Change Cables";
    if (linked > 0) return "Connect " + Counted(linked, "Cable", "Cables");
    if (unlinked > 0) return "Remove " + Counted(unlinked, "Cable", "Cables");

    const int32_t commentsWere = ShadowValue(was, p, p.commentCount);
    if (commentsWere < p.commentCount) return "Insert Comment";
    if (commentsWere > p.commentCount) return "Delete Comment";
    int32_t commentsMoved = 0, commentsEdited = 0;
    for (int32_t c = 0; c < std::clamp(p.commentCount, 0, kCommentCount); ++c) {
        const CommentRecord& r = p.comments[c];
        commentsMoved += ShadowDiffers(was, p, r.gx) || ShadowDiffers(was, p, r.gy) ? 1 : 0;
        commentsEdited += ShadowDiffers(was, p, r.text) ||
                                  ShadowDiffers(was, p, r.showBackground) ||
                                  ShadowDiffers(was, p, r.showBorder)
                              ? 1
                              : 0;
    }
    if (moved + commentsMoved > 0) {
        if (moved == 1 && commentsMoved == 0)
            return std::string("Move ") + p.slots[movedSlot].typeName;
        if (moved == 0) return "Move " + Counted(commentsMoved, "Comment", "Comments");
        return "Move " + std::to_string(moved + commentsMoved) + " Objects";
    }
    if (panelMoved > 0) {
        return "Move " + (panelMoved == 1 ? std::string(ControlKind(p.slots[panelSlot].imageType))
                                          : std::to_string(panelMoved) + " Controls");
    }
    if (learnt > 0) return "Learn MIDI CC";
    if (forgotten > 0) return "Forget MIDI CC";
    if (valued == 1) {
        const int32_t kind = p.slots[valueSlot].imageType;
        return kind == 5 ? "Flip Switch" : kind == 6 ? "Set LED" : "Turn Knob";
    }
    if (valued > 1) return "Change " + std::to_string(valued) + " Values";
    if (edited > 0) return "Rename " + Counted(edited, "Module", "Modules");
    if (commentsEdited > 0) return "Edit Comment";

    const int32_t polygonsWere = ShadowValue(was, p, p.polygonCount);
    if (polygonsWere != p.polygonCount)
        return polygonsWere < p.polygonCount ? "Insert Polygon" : "Delete Polygon";
    const int32_t textsWere = ShadowValue(was, p, p.textCount);
    if (textsWere != p.textCount) return textsWere < p.textCount ? "Insert Text" : "Delete Text";
    if (RunsTouch(step.runs, OffsetOf(p, p.polygons),
                  OffsetOf(p, p.polygons) + static_cast<uint32_t>(sizeof p.polygons)))
        return "Edit Polygon";
    if (RunsTouch(step.runs, OffsetOf(p, p.texts),
                  OffsetOf(p, p.texts) + static_cast<uint32_t>(sizeof p.texts)))
        return "Edit Text";
    if (ShadowDiffers(was, p, p.patchNames)) return "Rename Patch";
    if (ShadowDiffers(was, p, p.skinName)) return "Change Skin";
    return "Change Properties";
}

bool EditHistory::Commit(const Project& project, std::string_view name, StepKind kind) {
    if (!hasShadow_) {
        Reset(project);
        return false;
    }
    bool significant = false;
    Step step = Diff(project, significant);
    if (step.runs.empty()) return false;
    if (!significant) {
        // Selection and screen positions alone: the shadow follows them so that the next
        // step carries them from here.
        CopyRuns(shadow_.get(), step, true);
        shadowZoom_ = project.zoom;
        return false;
    }
    step.kind = kind;
    step.zoomBefore = shadowZoom_;
    step.zoomAfter = project.zoom;
    if (kind == StepKind::Verb || name.empty()) {
        step.name = Describe(project, step, kind == StepKind::Verb ? name : std::string_view{});
    } else {
        step.name = name;
    }

    if (kind == StepKind::Merge && mergeOpen_ && position_ == steps_.size() && position_ > 0 &&
        steps_.back().kind == StepKind::Merge && steps_.back().name == step.name) {
        // The shadow follows the record first: a byte that the joined step leaves out
        // (typed and taken back) must still read as it now is, or the next step would see
        // it as changed and carry a stale old value for it.
        CopyRuns(shadow_.get(), step, true);
        // Join the two steps byte by byte: the older one's old bytes, the newer one's new.
        Step& top = steps_.back();
        std::map<uint32_t, std::pair<uint8_t, uint8_t>> bytes;
        auto add = [&](const Step& s, bool older) {
            std::size_t at = 0;
            for (std::size_t r = 0; r < s.runs.size(); r += 2) {
                for (uint32_t i = 0; i < s.runs[r + 1]; ++i, ++at) {
                    auto [it, fresh] = bytes.try_emplace(s.runs[r] + i, s.before[at], s.after[at]);
                    if (!fresh && !older) it->second.second = s.after[at];
                }
            }
        };
        add(top, true);
        add(step, false);
        Step joined;
        joined.name = top.name;
        joined.kind = StepKind::Merge;
        joined.zoomBefore = top.zoomBefore;
        joined.zoomAfter = step.zoomAfter;
        for (const auto& [offset, pair] : bytes) {
            if (pair.first == pair.second) continue; // typed and taken back
            if (!joined.runs.empty() &&
                joined.runs[joined.runs.size() - 2] + joined.runs.back() == offset) {
                ++joined.runs.back();
            } else {
                joined.runs.push_back(offset);
                joined.runs.push_back(1);
            }
            joined.before.push_back(pair.first);
            joined.after.push_back(pair.second);
        }
        stepBytes_ -= top.Bytes();
        steps_.pop_back();
        --position_;
        step = std::move(joined);
        if (step.runs.empty()) {
            // The two steps cancel out: the record is back where the first one started.
            Settle(project);
            mergeOpen_ = false;
            ++revision_;
            return false;
        }
    }
    CopyRuns(shadow_.get(), step, true);
    shadowZoom_ = project.zoom;
    Push(std::move(step));
    mergeOpen_ = kind == StepKind::Merge;
    return true;
}

void EditHistory::Push(Step step) {
    // A new step ends the redo branch.
    while (steps_.size() > position_) {
        stepBytes_ -= steps_.back().Bytes();
        steps_.pop_back();
    }
    step.serial = nextSerial_++;
    step.runs.shrink_to_fit();
    step.before.shrink_to_fit();
    step.after.shrink_to_fit();
    stepBytes_ += step.Bytes();
    steps_.push_back(std::move(step));
    position_ = steps_.size();
    // The newest step always stays, however large.
    while (stepBytes_ > memoryLimit_ && steps_.size() > 1) {
        stepBytes_ -= steps_.front().Bytes();
        baseSerial_ = steps_.front().serial;
        steps_.pop_front();
        --position_;
    }
    ++revision_;
}

StepEffects EditHistory::Apply(Project& project, const Step& step, bool forward) {
    // The shadow takes the step's bytes too, so that what differs afterwards is only what
    // follows from them.
    CopyRuns(reinterpret_cast<uint8_t*>(&project), step, forward);
    CopyRuns(shadow_.get(), step, forward);
    StepEffects effects;
    effects.applied = true;
    effects.skinChanged =
        RunsTouch(step.runs, OffsetOf(project, project.skinName),
                  OffsetOf(project, project.skinName) + static_cast<uint32_t>(kPathSize));
    effects.patchNamesChanged = RunsTouch(step.runs, OffsetOf(project, project.patchNames),
                                          OffsetOf(project, project.patchNames) +
                                              static_cast<uint32_t>(sizeof project.patchNames));

    // What follows from the restored bytes: screen positions when they were laid out for
    // another zoom than today's, the tables the engine reads (rebuilt in place as after any
    // edit), the values of the Parameters in the current patch, and current objects that
    // may have gone.
    if (project.zoom != (forward ? step.zoomAfter : step.zoomBefore)) project.Relayout();
    project.RebuildRoutes();
    project.RecomputeParameterValues();
    project.CountModules();
    if (!IsSlot(project.currentSlot) || project.slots[project.currentSlot].type == kTypeEmpty)
        project.currentSlot = kNone;
    auto within = [](int32_t& index, int32_t count, int32_t capacity) {
        if (index < 0 || index >= std::min(count, capacity)) index = kNone;
    };
    within(project.currentComment, project.commentCount, kCommentCount);
    within(project.currentPolygon, project.polygonCount, kPolygonCount);
    within(project.currentText, project.textCount, kTextCount);

    // The shadow follows the record, derived fields included.
    Settle(project);
    mergeOpen_ = false;
    ++revision_;
    return effects;
}

StepEffects EditHistory::Undo(Project& project) {
    Commit(project);
    if (position_ == 0) return {};
    --position_;
    return Apply(project, steps_[position_], false);
}

StepEffects EditHistory::Redo(Project& project) {
    Commit(project);
    if (position_ == steps_.size()) return {};
    ++position_;
    return Apply(project, steps_[position_ - 1], true);
}

std::string_view EditHistory::UndoName() const noexcept {
    return position_ > 0 ? std::string_view(steps_[position_ - 1].name) : std::string_view{};
}

std::string_view EditHistory::RedoName() const noexcept {
    return position_ < steps_.size() ? std::string_view(steps_[position_].name)
                                     : std::string_view{};
}

uint64_t EditHistory::TopSerial() const noexcept {
    return position_ > 0 ? steps_[position_ - 1].serial : baseSerial_;
}

void EditHistory::MarkSaved() noexcept {
    savedSerial_ = TopSerial();
    mergeOpen_ = false;
    ++revision_;
}

void EditHistory::MarkUnsaved() noexcept {
    savedSerial_ = 0; // no state carries serial 0
    ++revision_;
}

bool EditHistory::Modified() const noexcept {
    return TopSerial() != savedSerial_;
}

} // namespace tw
