#include "interaction/clipboard.h"

#include "interaction/canvas_menu.h"
#include "model/catalogue.h"
#include "model/text.h"

#include <algorithm>
#include <climits>
#include <map>

namespace tw {

namespace {

bool Copied(const Project& p, int32_t slot) {
    const ModuleSlot& m = p.slots[slot];
    return m.type != kTypeEmpty && (slot == p.currentSlot || m.selected != 0);
}

ClipModule ModuleOf(const ModuleSlot& m) {
    ClipModule c;
    c.type = m.type;
    c.name = std::string(GetText(m.name));
    c.imageType = m.imageType;
    c.mouseResponse = m.mouseResponse;
    c.renderOnBackground = m.renderOnBackground;
    c.stepDirection = m.stepDirection;
    c.showLabel = m.showLabel;
    c.steps = m.steps;
    c.panelX = m.panelX;
    c.panelY = m.panelY;
    for (int i = 0; i < 3; ++i) c.labelColour[i] = m.labelColour[i];
    std::copy(std::begin(m.patchValues), std::end(m.patchValues), c.patchValues.begin());
    std::copy(std::begin(m.spareValues), std::end(m.spareValues), c.spareValues.begin());
    return c;
}

void WriteSettings(ModuleSlot& m, const ClipModule& c) {
    SetText(m.name, c.name);
    m.imageType = std::clamp(c.imageType, 0, kSkinImageCount - 1);
    m.mouseResponse = c.mouseResponse;
    m.renderOnBackground = c.renderOnBackground != 0 ? 1 : 0;
    m.stepDirection = c.stepDirection;
    m.showLabel = c.showLabel != 0 ? 1 : 0;
    m.steps = c.steps;
    for (int i = 0; i < 3; ++i) m.labelColour[i] = static_cast<uint8_t>(c.labelColour[i]);
    std::copy(c.patchValues.begin(), c.patchValues.end(), std::begin(m.patchValues));
    std::copy(c.spareValues.begin(), c.spareValues.end(), std::begin(m.spareValues));
}

std::string NamesList(const std::vector<std::string>& names) {
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) out += i + 1 == names.size() ? " and " : ", ";
        out += names[i];
    }
    return out;
}

// Pasted knobs never stack on others. The copied places stay when all of them are free (a
// cut brought back, another project); a few knobs then take free spots one by one, and a
// larger group moves as one block below every other control, keeping its own layout (and
// costing no search of the panel per knob).
void SettlePastedControls(Project& p, const std::vector<int32_t>& slotOf, int32_t guiWidth,
                          int32_t guiHeight) {
    std::vector<int32_t> knobs;
    for (const int32_t slot : slotOf)
        if (slot != kNone && p.slots[slot].type == kTypeParameter) knobs.push_back(slot);
    // The pasted knobs are kept off the panel while the others are judged.
    std::vector<std::pair<int32_t, int32_t>> places;
    for (const int32_t slot : knobs) {
        places.emplace_back(p.slots[slot].panelX, p.slots[slot].panelY);
        p.slots[slot].panelX = p.slots[slot].panelY = -kOffCanvas;
    }
    const auto allFree = [&](int32_t dy) {
        for (std::size_t i = 0; i < knobs.size(); ++i)
            if (!p.ControlSpotFree(knobs[i], places[i].first, places[i].second + dy)) return false;
        return true;
    };
    constexpr std::size_t kOneByOne = 8;
    if (!allFree(0) && knobs.size() <= kOneByOne) {
        for (const int32_t slot : knobs) {
            ModuleSlot& m = p.slots[slot];
            const uint8_t colour[3] = {m.labelColour[0], m.labelColour[1], m.labelColour[2]};
            p.PlaceNewControl(slot, guiWidth, guiHeight);
            std::copy(std::begin(colour), std::end(colour), std::begin(m.labelColour));
        }
        return;
    }
    int32_t dy = 0;
    if (!allFree(0)) {
        int32_t lowest = 0, top = INT32_MAX;
        for (int32_t s = 0; s < kSlotCount; ++s) {
            const ModuleSlot& m = p.slots[s];
            if (m.type != kTypeParameter || m.panelY == -kOffCanvas) continue;
            lowest = std::max(lowest, m.panelY + std::max(m.controlSize, 40) + 24);
        }
        for (const auto& place : places) top = std::min(top, place.second);
        dy = lowest - top;
        for (int32_t tries = 0; tries < 64 && !allFree(dy); ++tries) dy += 8;
    }
    for (std::size_t i = 0; i < knobs.size(); ++i) {
        p.slots[knobs[i]].panelX = places[i].first;
        p.slots[knobs[i]].panelY = places[i].second + dy;
    }
}

} // namespace

Clipping CopySelection(const Project& p) {
    Clipping clip;
    std::map<int32_t, int32_t> indexOf; // slot -> place in clip.modules
    int32_t left = INT32_MAX, top = INT32_MAX;
    for (int32_t s = 0; s < kSlotCount; ++s) {
        if (!Copied(p, s)) continue;
        indexOf[s] = static_cast<int32_t>(clip.modules.size());
        clip.modules.push_back(ModuleOf(p.slots[s]));
        clip.modules.back().x = p.slots[s].gx;
        clip.modules.back().y = p.slots[s].gy;
        left = std::min(left, p.slots[s].gx);
        top = std::min(top, p.slots[s].gy);
    }
    for (int32_t c = 0; c < std::clamp(p.commentCount, 0, kCommentCount); ++c) {
        const CommentRecord& r = p.comments[c];
        if (r.selected == 0 && r.clicked == 0) continue;
        ClipComment comment;
        comment.x = r.gx;
        comment.y = r.gy;
        comment.text = std::string(GetText(r.text));
        comment.showBackground = r.showBackground;
        comment.showBorder = r.showBorder;
        clip.comments.push_back(std::move(comment));
        left = std::min(left, r.gx);
        top = std::min(top, r.gy);
    }
    // Measured from a grid point, so that a group copied on the grid is pasted on it.
    const auto gridFloor = [](int32_t v) { return v >= 0 ? v / 4 * 4 : -((3 - v) / 4 * 4); };
    left = gridFloor(left);
    top = gridFloor(top);
    for (ClipModule& m : clip.modules) {
        m.x -= left;
        m.y -= top;
    }
    for (ClipComment& c : clip.comments) {
        c.x -= left;
        c.y -= top;
    }
    // A cable is stored once per input: the source of input k is outputs[k].link.
    for (const auto& [slot, index] : indexOf) {
        for (int32_t k = 0; k < kPortsPerSlot; ++k) {
            const int32_t source = p.outputs[PortIndex(slot, k)].link;
            if (!IsPort(source)) continue;
            const auto from = indexOf.find(source / kPortsPerSlot);
            if (from == indexOf.end()) continue;
            clip.cables.push_back({from->second, source % kPortsPerSlot, index, k});
        }
    }
    return clip;
}

PastePlan PlanPaste(const Project& p, const Clipping& clip) {
    PastePlan plan;
    std::vector<int32_t> taken;
    for (const ClipModule& m : clip.modules) {
        const ModuleTypeInfo* info = FindModuleType(m.type);
        bool keep = info != nullptr;
        if (keep && info->onePerProject) {
            // One delay line, one reverb, one PolyWave engine and one output per project: a
            // second one would fight the first over the shared state.
            const bool twice = std::find(taken.begin(), taken.end(), m.type) != taken.end();
            if (p.HasModuleOfType(m.type) || twice) {
                keep = false;
                const char* shown = info->menuEntry != nullptr ? info->menuEntry : info->name;
                if (std::find(plan.skipped.begin(), plan.skipped.end(), shown) ==
                    plan.skipped.end())
                    plan.skipped.emplace_back(shown);
            } else {
                taken.push_back(m.type);
            }
        }
        plan.keep.push_back(keep);
        plan.modules += keep ? 1 : 0;
    }
    return plan;
}

PasteOutcome PasteClipping(Project& p, CanvasSession& s, Platform& platform, const Clipping& clip,
                           int32_t x, int32_t y, int32_t guiWidth, int32_t guiHeight) {
    const PastePlan plan = PlanPaste(p, clip);
    if (plan.modules == 0 && clip.comments.empty()) {
        if (!plan.skipped.empty())
            platform.ShowMessage("Paste left out " + NamesList(plan.skipped) +
                                     ": a project holds only one of each.",
                                 kProductName, MessageButtons::Ok, MessageIcon::Information);
        return PasteOutcome::NothingToPaste;
    }
    // The limits are checked before anything changes, so that a refused paste leaves the
    // project exactly as it was.
    if (p.CountModules() + plan.modules > kSlotCount) {
        platform.ShowMessage(kModuleLimitMessage, kProductName, MessageButtons::Ok,
                             MessageIcon::Information);
        return PasteOutcome::TooManyModules;
    }
    if (std::clamp(p.commentCount, 0, kCommentCount) + static_cast<int64_t>(clip.comments.size()) >
        kCommentCount) {
        platform.ShowMessage(kCommentLimitMessage, kProductName, MessageButtons::Ok,
                             MessageIcon::Information);
        return PasteOutcome::TooManyComments;
    }
    if (!plan.skipped.empty())
        platform.ShowMessage("Paste left out " + NamesList(plan.skipped) +
                                 ": a project holds only one of each.",
                             kProductName, MessageButtons::Ok, MessageIcon::Information);

    ClearCanvasSelection(p, s);
    const int32_t scale = p.zoom + 1;
    int32_t baseX = std::max(x, 0) / scale;
    int32_t baseY = std::max(y, 0) / scale;
    if (p.snapToGrid) {
        // The grid is 4 logical units: a group copied on the grid lands on it.
        baseX = baseX / 4 * 4;
        baseY = baseY / 4 * 4;
    }
    std::vector<int32_t> slotOf(clip.modules.size(), kNone);
    for (std::size_t i = 0; i < clip.modules.size(); ++i) {
        if (!plan.keep[i]) continue;
        const ClipModule& m = clip.modules[i];
        // No panel size: the insertion does not look for a spot the group settles below.
        const int32_t slot = p.InsertModule(m.type, 0, 0, 0, 0);
        if (slot == kNone) break; // cannot happen: the slots were counted above
        slotOf[i] = slot;
        ModuleSlot& target = p.slots[slot];
        WriteSettings(target, m);
        target.gx = baseX + m.x;
        target.gy = baseY + m.y;
        // Screen positions follow at once: the next insertion captures them back into
        // the logical ones.
        target.anchorX = target.gx * scale;
        target.topY = target.gy * scale;
        // The controls keep their copied places for now; they are settled below, once the
        // whole group is in.
        target.panelX = m.panelX;
        target.panelY = m.panelY;
    }
    SettlePastedControls(p, slotOf, guiWidth, guiHeight);
    for (const ClipComment& c : clip.comments) {
        const int32_t index = p.InsertComment(0, 0);
        if (index == kNone) break;
        CommentRecord& r = p.comments[index];
        SetText(r.text, c.text);
        r.showBackground = c.showBackground != 0 ? 1 : 0;
        r.showBorder = c.showBorder != 0 ? 1 : 0;
        r.gx = baseX + c.x;
        r.gy = baseY + c.y;
        r.x = r.gx * scale;
        r.y = r.gy * scale;
        r.selected = 1;
        r.originX = r.x;
        r.originY = r.y;
    }
    p.Relayout();
    for (const ClipCable& c : clip.cables) {
        const auto count = static_cast<int32_t>(slotOf.size());
        if (c.fromModule < 0 || c.fromModule >= count || c.toModule < 0 || c.toModule >= count)
            continue;
        const int32_t from = slotOf[static_cast<std::size_t>(c.fromModule)];
        const int32_t to = slotOf[static_cast<std::size_t>(c.toModule)];
        if (from == kNone || to == kNone || c.output < 0 || c.output >= kPortsPerSlot ||
            c.input < 0 || c.input >= kPortsPerSlot)
            continue;
        p.Connect(PortIndex(from, c.output), PortIndex(to, c.input), false);
    }
    p.RelayoutPatchbays();
    p.RebuildActiveList();
    p.RebuildRoutes();

    // The group comes out selected, with the band round it, so that it can be dragged
    // into place at once.
    int32_t left = INT32_MAX, top = INT32_MAX, right = INT32_MIN, bottom = INT32_MIN;
    int32_t pasted = 0, only = kNone;
    for (const int32_t slot : slotOf) {
        if (slot == kNone) continue;
        ModuleSlot& m = p.slots[slot];
        m.selected = 1;
        m.originX = m.anchorX;
        m.originY = m.topY;
        p.RecomputeParameterValue(slot);
        left = std::min(left, m.anchorX - m.halfWidthPx - 1);
        right = std::max(right, m.anchorX + m.halfWidthPx + 1);
        top = std::min(top, m.topY - 1);
        bottom = std::max(bottom, m.topY + m.heightPx + 1);
        ++pasted;
        only = slot;
    }
    for (int32_t c = 0; c < std::clamp(p.commentCount, 0, kCommentCount); ++c) {
        const CommentRecord& r = p.comments[c];
        if (r.selected == 0) continue;
        left = std::min(left, r.x - 1);
        right = std::max(right, r.x + p.commentBoxWidth + 1);
        top = std::min(top, r.y - 1);
        bottom = std::max(bottom, r.y + p.commentBoxHeight + 1);
    }
    s.bandLeft = left;
    s.bandTop = top;
    s.bandRight = right;
    s.bandBottom = bottom;
    s.bandVisible = false;
    s.bandState = kBandSelected;
    // A single module is also the current one, so that the Properties window shows it.
    p.currentSlot = pasted == 1 ? only : kNone;
    p.CountModules();
    return PasteOutcome::Pasted;
}

ClipBox ClippingBox(const Project& p, const Clipping& clip) {
    const int32_t z = p.zoom;
    const int32_t scale = z + 1;
    ClipBox box{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    for (const ClipModule& m : clip.modules) {
        const ModuleTypeInfo* info = FindModuleType(m.type);
        const int32_t half = (info != nullptr ? info->halfWidthUnits : 10) * z;
        const int32_t height = (info != nullptr ? std::max(info->heightUnits, 8) : 8) * z;
        box.left = std::min(box.left, m.x * scale - half);
        box.right = std::max(box.right, m.x * scale + half);
        box.top = std::min(box.top, m.y * scale - 4 * z); // the name above the box
        box.bottom = std::max(box.bottom, m.y * scale + height + 2 * z);
    }
    for (const ClipComment& c : clip.comments) {
        box.left = std::min(box.left, c.x * scale);
        box.right = std::max(box.right, c.x * scale + p.commentBoxWidth);
        box.top = std::min(box.top, c.y * scale);
        box.bottom = std::max(box.bottom, c.y * scale + p.commentBoxHeight);
    }
    if (box.left > box.right) box = {};
    return box;
}

CanvasPoint PastePointFor(const Project& p, const CanvasSession& s, const ClipBox& box) noexcept {
    if (s.pointerInView) return {s.pointerX, s.pointerY};
    const int32_t z = p.zoom;
    const int32_t margin = 2 * z;
    const auto freeAt = [&](int32_t x, int32_t y) {
        const int32_t l = x + box.left - margin, r = x + box.right + margin;
        const int32_t t = y + box.top - margin, b = y + box.bottom + margin;
        for (const ModuleSlot& m : p.slots) {
            if (m.type == kTypeEmpty) continue;
            const int32_t ml = m.anchorX - m.halfWidthPx, mr = m.anchorX + m.halfWidthPx;
            const int32_t mt = m.topY - 4 * z, mb = m.topY + m.heightPx + 2 * z;
            if (l < mr && ml < r && t < mb && mt < b) return false;
        }
        for (int32_t c = 0; c < std::clamp(p.commentCount, 0, kCommentCount); ++c) {
            const CommentRecord& m = p.comments[c];
            if (l < m.x + p.commentBoxWidth && m.x < r && t < m.y + p.commentBoxHeight && m.y < b)
                return false;
        }
        return true;
    };
    const int32_t step = p.SnapStep();
    const int32_t left = p.viewOriginX - box.left + margin;
    const int32_t top = p.viewOriginY - box.top + margin;
    const int32_t right = p.viewOriginX + s.viewWidth - box.right - margin;
    const int32_t bottom = p.viewOriginY + s.viewHeight - box.bottom - margin;
    for (int32_t y = (top + step - 1) / step * step; y <= bottom; y += step)
        for (int32_t x = (left + step - 1) / step * step; x <= right; x += step)
            if (freeAt(x, y)) return {x, y};
    return {std::max(left, 0), std::max(top, 0)};
}

} // namespace tw
