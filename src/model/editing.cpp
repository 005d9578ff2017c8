// Editing operations shared by the canvas, the menus and the file loader: modules,
// cables, comments and the panel's polygons and texts.
#include "catalogue.h"
#include "project.h"
#include "text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace tw {

namespace {

constexpr const char* kNewCommentText = "Click on this comment to change the text.";

// A control's place on the panel with room for its label: the label is centred under the
// control and may be wider than it.
constexpr int32_t kLabelRoom = 16;
constexpr int32_t kLabelSpill = 16;
constexpr int32_t kPlacementGrid = 8;
constexpr int32_t kUnloadedControlSize = 40;
constexpr int32_t kEditorFrameWidth = 16;
constexpr int32_t kEditorFrameHeight = 39;

struct Box {
    int32_t x0, y0, x1, y1; // x1 and y1 lie just outside
    bool Meets(const Box& o) const noexcept {
        return x0 < o.x1 && o.x0 < x1 && y0 < o.y1 && o.y0 < y1;
    }
};

Box ControlFootprint(int32_t x, int32_t y, int32_t size) noexcept {
    return {x - kLabelSpill, y, x + size + kLabelSpill, y + size + kLabelRoom};
}

// The panel colour under a label's strip, as the panel is painted: the background picture
// where it reaches, the panel's grey elsewhere. True when it is light.
bool LightUnder(const BackgroundImage& background, const Box& strip) noexcept {
    uint64_t sum = 0;
    uint64_t count = 0;
    for (int32_t y = strip.y0; y < strip.y1; y += 2) {
        for (int32_t x = strip.x0; x < strip.x1; x += 2) {
            uint32_t rgb = 0xF0F0F0u;
            const Bitmap* b = background.bitmap.get();
            if (b != nullptr && x >= 0 && y >= 0 && x < b->width && y < b->height &&
                b->pixels.size() >= static_cast<std::size_t>(b->width) * b->height)
                rgb = b->At(x, y);
            sum +=
                299u * ((rgb >> 16) & 0xFFu) + 587u * ((rgb >> 8) & 0xFFu) + 114u * (rgb & 0xFFu);
            ++count;
        }
    }
    return count == 0 || sum >= 128u * 1000u * count;
}

} // namespace

int32_t RescaleStep(int32_t step, int32_t oldSteps, int32_t newSteps) noexcept {
    if (newSteps <= 0) return 0;
    if (oldSteps <= 0) return std::clamp(step, 0, newSteps);
    const int64_t held = std::clamp<int64_t>(step, 0, oldSteps);
    // Rounded half up, in 64 bits: step counts from files may be large.
    return static_cast<int32_t>((2 * held * newSteps + oldSteps) / (2 * int64_t{oldSteps}));
}

bool Project::ControlSpotFree(int32_t slot, int32_t x, int32_t y) const noexcept {
    if (!IsSlot(slot)) return false;
    const ModuleSlot& s = slots[slot];
    const SkinImage& image = skinImages[std::clamp(s.imageType, 0, kSkinImageCount - 1)];
    const int32_t size = image.width > 0 ? image.width : kUnloadedControlSize;
    const Box here = ControlFootprint(x, y, size);
    for (int32_t other = 0; other < kSlotCount; ++other) {
        const ModuleSlot& o = slots[other];
        if (other == slot || o.type != kTypeParameter) continue;
        if (here.Meets(
                ControlFootprint(o.panelX, o.panelY, o.controlSize > 0 ? o.controlSize : size)))
            return false;
    }
    return true;
}

void Project::PlaceNewControl(int32_t slot, int32_t guiWidth, int32_t guiHeight) noexcept {
    if (!IsSlot(slot)) return;
    ModuleSlot& s = slots[slot];
    const SkinImage& image = skinImages[std::clamp(s.imageType, 0, kSkinImageCount - 1)];
    const int32_t size = image.width > 0 ? image.width : kUnloadedControlSize;
    // The sizes are the Gui Editor window's; its frame and caption take this much of them.
    guiWidth = std::max(guiWidth - kEditorFrameWidth, 0);
    guiHeight = std::max(guiHeight - kEditorFrameHeight, 0);
    // The spot nearest the panel's centre, on the grid, where neither the control nor its
    // label meets another control or its label; the centre itself when the panel is full.
    const int32_t cx = guiWidth / 2 - size / 2;
    const int32_t cy = guiHeight / 2 - (size + kLabelRoom) / 2;
    Box taken[kSlotCount];
    int32_t takenCount = 0;
    for (int32_t other = 0; other < kSlotCount; ++other) {
        const ModuleSlot& o = slots[other];
        if (other == slot || o.type != kTypeParameter) continue;
        const int32_t side = o.controlSize > 0 ? o.controlSize : size;
        taken[takenCount++] = ControlFootprint(o.panelX, o.panelY, side);
    }
    // Panel texts are not written over either: a text's box is about 0.6 of its size wide
    // per character and 1.4 of it high, from its top-left corner.
    Box textBoxes[kTextCount];
    const int32_t textBoxCount = std::clamp(textCount, 0, kTextCount);
    for (int32_t i = 0; i < textBoxCount; ++i) {
        const PanelText& t = texts[i];
        const auto length = static_cast<int32_t>(strnlen(t.text, sizeof t.text));
        const int32_t points = std::clamp(t.size, 1, 512);
        textBoxes[i] = {t.x, t.y, t.x + length * points * 6 / 10 + 1, t.y + points * 14 / 10 + 1};
    }
    // A group frame (a polygon) is no obstacle as long as the control lies wholly inside or
    // wholly outside it; a control across its outline would be drawn over the frame.
    auto crossesFrame = [&](const Box& here) {
        for (int32_t i = 0; i < std::clamp(polygonCount, 0, kPolygonCount); ++i) {
            const PanelPolygon& g = polygons[i];
            const Box frame{std::min(g.x1, g.x2), std::min(g.y1, g.y2), std::max(g.x1, g.x2) + 1,
                            std::max(g.y1, g.y2) + 1};
            const bool inside = frame.x0 <= here.x0 && here.x1 <= frame.x1 && frame.y0 <= here.y0 &&
                                here.y1 <= frame.y1;
            if (here.Meets(frame) && !inside) return true;
        }
        return false;
    };
    int32_t bestX = cx;
    int32_t bestY = cy;
    int64_t best = -1;
    auto search = [&](int32_t height, bool avoidFrames) {
        for (int32_t y = 0; y + size + kLabelRoom <= height; y += kPlacementGrid) {
            for (int32_t x = kLabelSpill; x + size + kLabelSpill <= guiWidth; x += kPlacementGrid) {
                const int64_t d = int64_t{x - cx} * (x - cx) + int64_t{y - cy} * (y - cy);
                if (best >= 0 && d >= best) continue;
                const Box here = ControlFootprint(x, y, size);
                bool free = true;
                for (int32_t i = 0; i < takenCount && free; ++i) free = !here.Meets(taken[i]);
                for (int32_t i = 0; i < textBoxCount && free; ++i) free = !here.Meets(textBoxes[i]);
                if (!free || (avoidFrames && crossesFrame(here))) continue;
                best = d;
                bestX = x;
                bestY = y;
            }
        }
    };
    // A full window: the panel goes on below it (the user scrolls or enlarges the editor)
    // rather than stacking the new control on the centre's or across a frame.
    for (int32_t extra = 0; best < 0 && extra <= kSlotCount; extra = extra == 0 ? 1 : 2 * extra)
        search(guiHeight + extra * (size + kLabelRoom), true);
    if (best < 0) search(guiHeight, false);
    s.panelX = bestX;
    s.panelY = bestY;
    // Black on a light panel, white on a dark one.
    const Box strip{bestX - kLabelSpill, bestY + size, bestX + size + kLabelSpill,
                    bestY + size + kLabelRoom};
    const uint8_t shade = LightUnder(background, strip) ? 0 : 255;
    for (uint8_t& c : s.labelColour) c = shade;
}

int32_t Project::InsertModule(int32_t type, int32_t x, int32_t y, int32_t guiWidth,
                              int32_t guiHeight) noexcept {
    if (type < 1 || type > kMaxModuleType) return kNone;
    int32_t slot = kNone;
    for (int32_t s = 0; s < kSlotCount; ++s) {
        if (slots[s].type == kTypeEmpty) {
            slot = s;
            break;
        }
    }
    if (slot == kNone) {
        CapturePositions();
        Relayout();
        return kNone;
    }
    ModuleSlot& s = slots[slot];
    s.type = type;
    PlaceModule(slot, x, y);
    SetText(s.name, s.typeName);
    s.cleanMark = 0;
    s.midiCc = kNone;
    currentSlot = slot;
    if (type == kTypeParameter) {
        s.imageType = 0;
        s.mouseResponse = 0;
        const int32_t patch = currentPatch;
        if (IsPatch(patch)) s.spareValues[patch] = 0;
        s.steps = 100;
        // A reused slot would otherwise hand the new control its predecessor's settings.
        for (int32_t& v : s.patchValues) v = 0;
        // The step count follows the image from the start, as a saved file must carry it.
        RecomputeParameterValue(slot);
        PlaceNewControl(slot, guiWidth, guiHeight);
        std::snprintf(s.name, sizeof s.name, "Param %d", static_cast<int>(slot));
    }
    RebuildActiveList();
    CapturePositions();
    Relayout();
    return slot;
}

bool Project::ChangeImageType(int32_t slot, int32_t imageType) noexcept {
    if (!IsSlot(slot) || slots[slot].type != kTypeParameter) return false;
    if (imageType < 0 || imageType >= kSkinImageCount) return false;
    ModuleSlot& s = slots[slot];
    if (s.imageType == imageType) return false;
    const int32_t oldSteps = KnobSteps(slot); // the travel the stored steps were made on
    s.imageType = imageType;
    const int32_t patch = currentPatch;
    if (IsPatch(patch)) s.spareValues[patch] = 0;
    s.stepDirection = 1;
    // Takes the new image's steps (an image not loaded leaves them as they are).
    RecomputeParameterValue(slot);
    const int32_t newSteps = std::max(s.steps, 0);
    // Every patch keeps its control where it was relative to the whole travel: 45 of 100
    // becomes round(4.5) = 5 of 10, the current patch included.
    for (int32_t& v : s.patchValues) v = RescaleStep(v, oldSteps, newSteps);
    RecomputeParameterValue(slot);
    return true;
}

void Project::DeleteModule(int32_t slot) noexcept {
    if (!IsSlot(slot) || slots[slot].type == kTypeEmpty) return;
    ModuleSlot& s = slots[slot];
    s.type = kTypeEmpty;
    s.anchorX = kOffCanvas;
    s.topY = kOffCanvas;
    s.midiCc = kNone;
    const int32_t base = PortIndex(slot, 0);
    for (int32_t k = base; k < base + kPortsPerSlot; ++k) {
        // Both halves of every cable that touches the slot go, including cables that
        // loop back into the slot itself.
        const int32_t fedInput = inputs[k].link;
        if (IsPort(fedInput)) outputs[fedInput].link = kNone;
        const int32_t source = outputs[k].link;
        if (IsPort(source)) inputs[source].link = kNone;
        outputs[k].link = kNone;
        inputs[k].link = kNone;
        for (PortRecord* r : {&inputs[k], &outputs[k]}) {
            r->kind = kPortNone;
            r->x = kOffCanvas;
            r->y = kOffCanvas;
        }
    }
    RebuildActiveList();
    RebuildRoutes();
}

bool Project::Connect(int32_t output, int32_t input, bool nameParameter) noexcept {
    if (!IsPort(output) || !IsPort(input)) return false;
    if (slots[SlotOfPort(output)].type == kTypeEmpty) return false;
    if (slots[SlotOfPort(input)].type == kTypeEmpty) return false;
    const int32_t inKind = inputs[input].kind;
    if (inKind == kPortNone || inKind == kPortHidden) return false;
    if (outputs[output].kind == kPortNone) return false;
    if (outputs[input].link != kNone || inputs[output].link != kNone) return false;
    outputs[input].link = output;
    inputs[output].link = input;
    RebuildRoutes();
    ModuleSlot& source = slots[SlotOfPort(output)];
    if (nameParameter && source.type == kTypeParameter) SetText(source.name, inputs[input].label);
    RelayoutPatchbays();
    return true;
}

bool Project::DisconnectInput(int32_t input) noexcept {
    if (!IsPort(input)) return false;
    const int32_t source = outputs[input].link;
    if (source == kNone) return false;
    if (IsPort(source) && inputs[source].link == input) inputs[source].link = kNone;
    outputs[input].link = kNone;
    RebuildRoutes();
    RelayoutPatchbays();
    return true;
}

bool Project::DisconnectOutput(int32_t output) noexcept {
    if (!IsPort(output)) return false;
    const int32_t fed = inputs[output].link;
    if (fed == kNone) return false;
    if (IsPort(fed) && outputs[fed].link == output) outputs[fed].link = kNone;
    inputs[output].link = kNone;
    RebuildRoutes();
    RelayoutPatchbays();
    return true;
}

int32_t Project::CountModules() noexcept {
    moduleCount = CountOccupied();
    return moduleCount;
}

int32_t Project::CountOccupied() const noexcept {
    int32_t n = 0;
    for (const ModuleSlot& s : slots) n += s.type != kTypeEmpty ? 1 : 0;
    return n;
}

int32_t Project::CountModulesOfType(int32_t type) const noexcept {
    int32_t n = 0;
    for (const ModuleSlot& s : slots) n += s.type == type ? 1 : 0;
    return n;
}

int32_t Project::InsertComment(int32_t x, int32_t y) noexcept {
    if (commentCount < 0 || commentCount >= kCommentCount) return kNone;
    const int32_t index = commentCount++;
    CommentRecord& c = comments[index];
    c.gx = x;
    c.gy = y;
    c.x = x;
    c.y = y;
    c.originX = x;
    c.originY = y;
    c.selected = 0;
    c.clicked = 0;
    c.showBackground = 1;
    c.showBorder = 1;
    SetText(c.text, kNewCommentText);
    CapturePositions();
    return index;
}

bool Project::DeleteComment(int32_t index) noexcept {
    if (index < 0 || index >= commentCount) return false;
    for (int32_t c = index; c + 1 < commentCount; ++c) comments[c] = comments[c + 1];
    --commentCount;
    if (currentComment >= commentCount) currentComment = kNone;
    return true;
}

int32_t Project::InsertPolygon(int32_t x, int32_t y) noexcept {
    if (polygonCount < 0 || polygonCount >= kPolygonCount) return kNone;
    const int32_t index = polygonCount++;
    PanelPolygon& g = polygons[index];
    g = PanelPolygon{};
    g.x1 = x;
    g.y1 = y;
    g.x2 = x + 100;
    g.y2 = y + 50;
    g.lineWidth = 3;
    g.cornerRadius = 16;
    g.red = g.green = g.blue = 128;
    g.alpha = 255;
    return index;
}

bool Project::DeletePolygon(int32_t index) noexcept {
    if (index < 0 || index >= polygonCount) return false;
    for (int32_t i = index; i + 1 < polygonCount; ++i) polygons[i] = polygons[i + 1];
    --polygonCount;
    if (currentPolygon >= polygonCount) currentPolygon = kNone;
    return true;
}

int32_t Project::InsertText(int32_t x, int32_t y) noexcept {
    if (textCount < 0 || textCount >= kTextCount) return kNone;
    const int32_t index = textCount++;
    PanelText& t = texts[index];
    t = PanelText{};
    t.x = x;
    t.y = y;
    SetText(t.text, "Text");
    return index;
}

bool Project::DeleteText(int32_t index) noexcept {
    if (index < 0 || index >= textCount) return false;
    for (int32_t i = index; i + 1 < textCount; ++i) texts[i] = texts[i + 1];
    --textCount;
    if (currentText >= textCount) currentText = kNone;
    return true;
}

} // namespace tw
