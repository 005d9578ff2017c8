#include "interaction/panel_interaction.h"

#include "model/lifecycle.h"
#include "model/text.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace tw {

namespace {

constexpr int32_t kHandleReach = 5;
constexpr int32_t kTextCharWidth = 5;
constexpr int32_t kTextBoxHeight = 12;
// The pointer is kept this far inside the panel's right and bottom edges.
constexpr int32_t kRightMargin = 5;
constexpr int32_t kBottomMargin = 20;

bool IsParameter(const Project& project, int32_t slot) noexcept {
    return IsSlot(slot) && project.slots[slot].type == kTypeParameter;
}

int32_t CurrentPatch(const Project& project) noexcept {
    return std::clamp<int32_t>(project.currentPatch, 0, kPatchCount - 1);
}

bool NearHandle(int32_t hx, int32_t hy, int32_t x, int32_t y) noexcept {
    return hx - kHandleReach < x && x < hx + kHandleReach && hy - kHandleReach < y &&
           y < hy + kHandleReach;
}

// The largest value the control can take: its image's frames less one. An image that has
// not been loaded leaves the control with the step count it had.
int32_t LargestValue(const Project& project, const ModuleSlot& s) noexcept {
    if (s.imageType >= 0 && s.imageType < kSkinImageCount) {
        const int32_t frames = project.skinImages[s.imageType].frames;
        if (frames > 0) return frames - 1;
    }
    return s.steps;
}

// Stores v as the control's value in the current patch, then its normalised value; the
// engine reads both words while this runs.
void StoreValue(Project& project, int32_t slot, int32_t v) noexcept {
    project.slots[slot].patchValues[CurrentPatch(project)] = v;
    project.RecomputeParameterValue(slot);
}

int32_t Limit16(int32_t v) noexcept {
    return static_cast<int16_t>(static_cast<uint16_t>(v));
}

void RemoveGrab(PanelSession& session) noexcept {
    session.polygonGrab = kGrabNone;
}

// The skins folder below `root`, found without regard to letter case as skin files are.
std::optional<std::string> SkinsFolder(std::string_view root, Platform& platform) {
    const std::string app(!root.empty() ? root : ".");
    const auto names = platform.ListFolder(app);
    if (!names) return std::nullopt;
    if (std::find(names->begin(), names->end(), "Skins") != names->end()) return Join(app, "Skins");
    for (const std::string& n : *names) {
        if (SameIgnoringCase(n, "Skins")) return Join(app, n);
    }
    return std::nullopt;
}

} // namespace

int32_t HitTestControl(const Project& project, int32_t x, int32_t y) noexcept {
    for (int32_t slot = 0; slot < kSlotCount; ++slot) {
        const ModuleSlot& s = project.slots[slot];
        if (s.type != kTypeParameter) continue;
        if (s.panelX <= x && x <= s.panelX + s.controlSize && s.panelY <= y &&
            y <= s.panelY + s.controlSize)
            return slot;
    }
    return kNone;
}

PolygonHit HitTestPolygon(const Project& project, int32_t x, int32_t y) noexcept {
    const int32_t count = std::clamp(project.polygonCount, 0, kPolygonCount);
    for (int32_t i = 0; i < count; ++i) {
        const PanelPolygon& p = project.polygons[i];
        if (NearHandle(p.x1, p.y1, x, y)) return {i, kGrabMove};
        if (NearHandle(p.x2, p.y2, x, y)) return {i, kGrabResize};
    }
    return {};
}

int32_t HitTestText(const Project& project, int32_t x, int32_t y) noexcept {
    const int32_t count = std::clamp(project.textCount, 0, kTextCount);
    for (int32_t i = 0; i < count; ++i) {
        const PanelText& t = project.texts[i];
        const auto length = static_cast<int32_t>(GetText(t.text).size());
        if (t.x < x && x < t.x + kTextCharWidth * length && t.y < y && y < t.y + kTextBoxHeight)
            return i;
    }
    return kNone;
}

bool InEditMode(const Project& project) noexcept {
    return project.guiEditMode != 0 && project.lockEdit == 0;
}

void PanelLeftPress(Project& project, PanelSession& session, Platform& platform, int32_t x,
                    int32_t y) {
    const bool edit = InEditMode(project);
    session.buttonDown = true;
    session.leftHeld = true;
    session.pressX = session.pointerX = x;
    session.pressY = session.pointerY = y;
    project.propertiesTarget = kTargetNone;
    project.currentSlot = HitTestControl(project, x, y);
    project.currentPolygon = kNone;
    project.currentText = kNone;
    RemoveGrab(session);

    if (edit) {
        const int32_t text = HitTestText(project, x, y);
        if (text != kNone) {
            project.currentText = text;
            project.propertiesTarget = kTargetText;
        }
    }
    if (project.currentSlot != kNone) project.propertiesTarget = kTargetParameter;
    // A polygon's handle wins over a control lying under it.
    const PolygonHit hit = HitTestPolygon(project, x, y);
    if (hit.index != kNone) {
        const PanelPolygon& p = project.polygons[hit.index];
        project.currentPolygon = hit.index;
        project.propertiesTarget = kTargetPolygon;
        session.polygonGrab = hit.grab;
        session.grabWidth = p.x2 - p.x1;
        session.grabHeight = p.y2 - p.y1;
    }

    if (!edit && project.currentSlot != kNone) {
        session.valueAtPress =
            project.slots[project.currentSlot].patchValues[CurrentPatch(project)];
        ChangeControlValue(project, session, x, y);
    }
    platform.RefreshProperties();
}

void PanelPointerMove(Project& project, PanelSession& session, int32_t x, int32_t y) {
    x = std::min(Limit16(x), session.width - kRightMargin);
    y = std::min(Limit16(y), session.height - kBottomMargin);
    session.pointerX = x;
    session.pointerY = y;
    if (!session.buttonDown) return;

    if (!InEditMode(project)) {
        if (project.currentSlot != kNone) ChangeControlValue(project, session, x, y);
        return;
    }
    if (x == session.pressX && y == session.pressY) return;

    x = std::max(x, 0);
    y = std::max(y, 0);
    if (project.snapToGrid != 0) {
        x -= x % kPanelSnap;
        y -= y % kPanelSnap;
    }
    const int32_t polygon = project.currentPolygon;
    if (polygon >= 0 && polygon < std::min(project.polygonCount, kPolygonCount) &&
        session.polygonGrab != kGrabNone) {
        PanelPolygon& p = project.polygons[polygon];
        if (session.polygonGrab == kGrabMove) {
            p.x1 = x;
            p.y1 = y;
            p.x2 = x + session.grabWidth;
            p.y2 = y + session.grabHeight;
        } else {
            p.x2 = x;
            p.y2 = y;
        }
    } else if (project.currentText >= 0 &&
               project.currentText < std::min(project.textCount, kTextCount)) {
        project.texts[project.currentText].x = x;
        project.texts[project.currentText].y = y;
    } else if (IsParameter(project, project.currentSlot)) {
        ModuleSlot& s = project.slots[project.currentSlot];
        s.panelX = static_cast<int32_t>(x - 0.5 * s.controlSize);
        s.panelY = static_cast<int32_t>(y - 0.5 * s.controlSize);
    }
}

void PanelLeftRelease(Project& project, PanelSession& session) {
    session.buttonDown = false;
    session.leftHeld = false;
    const int32_t slot = project.currentSlot;
    if (InEditMode(project) || !IsParameter(project, slot)) return;
    if (project.slots[slot].mouseResponse == kClickReset) StoreValue(project, slot, 0);
}

void ChangeControlValue(Project& project, PanelSession& session, int32_t x, int32_t y) {
    const int32_t slot = project.currentSlot;
    if (!IsParameter(project, slot)) return;
    ModuleSlot& s = project.slots[slot];
    const int32_t n = LargestValue(project, s);
    if (n <= 0) {
        // A single frame has nowhere to go: the control stays at 0.
        StoreValue(project, slot, 0);
        if (s.mouseResponse >= kClickInc) session.buttonDown = false;
        return;
    }
    // A value left over from an image with more frames counts as the last frame, which
    // is also what the panel shows.
    int32_t v = std::clamp(s.patchValues[CurrentPatch(project)], 0, n);
    const int32_t v0 = std::clamp(session.valueAtPress, 0, n);
    switch (s.mouseResponse) {
    case kDragVertical:
        v = std::clamp(v0 + (session.pressY - y), 0, n);
        break;
    case kDragHorizontal:
        v = std::clamp(v0 + (x - session.pressX), 0, n);
        break;
    case kClickInc:
        v = v + 1 > n ? 0 : v + 1;
        break;
    case kClickDec:
        v = v - 1 < 0 ? n : v - 1;
        break;
    case kClickIncDec:
        if (v < 1) s.stepDirection = 1;
        if (v >= n) s.stepDirection = -1;
        v = std::clamp(v + (s.stepDirection < 0 ? -1 : 1), 0, n);
        break;
    case kClickToggle:
        v = v != 0 ? 0 : n;
        break;
    case kClickReset:
        v = n;
        break;
    default:
        return;
    }
    // Each press of a click response acts once; later moves leave the value alone.
    if (s.mouseResponse >= kClickInc) session.buttonDown = false;
    StoreValue(project, slot, v);
}

int32_t PanelWheel(Project& project, Platform& platform, int32_t x, int32_t y, int32_t steps) {
    if (InEditMode(project)) return kNone;
    const int32_t slot = HitTestControl(project, x, y);
    if (slot == kNone) return kNone;
    project.currentSlot = slot;
    project.propertiesTarget = kTargetParameter;
    const ModuleSlot& s = project.slots[slot];
    const int32_t n = std::max(LargestValue(project, s), 0);
    const int32_t v = std::clamp(s.patchValues[CurrentPatch(project)], 0, n);
    StoreValue(project, slot, static_cast<int32_t>(std::clamp<int64_t>(int64_t{v} + steps, 0, n)));
    platform.RefreshProperties();
    return slot;
}

PanelMenu PanelRightPress(Project& project, PanelSession& session, Platform& platform, int32_t x,
                          int32_t y) {
    if (session.leftHeld) PanelLeftRelease(project, session);
    PanelMenu menu;
    project.currentSlot = HitTestControl(project, x, y);
    const bool control = project.currentSlot != kNone;
    if (control) project.propertiesTarget = kTargetParameter;

    if (project.lockEdit != 0) {
        menu.skin = true;
    } else {
        menu.modeItems = true;
        menu.editModeTicked = project.guiEditMode != 0;
        if (menu.editModeTicked) {
            menu.deleteParameter = control;
            const PolygonHit polygon = HitTestPolygon(project, x, y);
            const int32_t text = polygon.index == kNone ? HitTestText(project, x, y) : kNone;
            if (polygon.index != kNone) {
                project.currentPolygon = polygon.index;
                project.propertiesTarget = kTargetPolygon;
                menu.deletePolygon = true;
            } else if (text != kNone) {
                project.currentText = text;
                project.propertiesTarget = kTargetText;
                menu.deleteText = true;
            } else {
                menu.insert = !control;
                menu.skin = true;
            }
        } else if (control) {
            menu.midiSlot = project.currentSlot;
            menu.midiForget = project.slots[project.currentSlot].midiCc != kNone;
        }
    }
    if (menu.skin) {
        ScanSkins(project, platform);
        for (int32_t i = 0; i < std::min(project.skinCount, kSkinFolderCount); ++i)
            menu.skins.emplace_back(GetText(project.skinFolders[i]));
    }
    platform.RefreshProperties();
    return menu;
}

void SetGuiEditMode(Project& project, Platform& platform, bool edit) {
    // Lock edit keeps the panel playable only.
    project.guiEditMode = edit && project.lockEdit == 0 ? 1 : 0;
    platform.RebuildMenus();
}

int32_t InsertPanelPolygon(Project& project, Platform& platform, int32_t x, int32_t y,
                           int32_t panelWidth, int32_t panelHeight) {
    const int32_t index = project.InsertPolygon(x, y);
    if (index != kNone) {
        // Half the outline's width lies outside the corners.
        PanelPolygon& g = project.polygons[index];
        const int32_t margin = (g.lineWidth + 1) / 2, w = g.x2 - g.x1, h = g.y2 - g.y1;
        g.x1 = std::max(margin, std::min(g.x1, panelWidth - 1 - margin - w));
        g.y1 = std::max(margin, std::min(g.y1, panelHeight - 1 - margin - h));
        g.x2 = g.x1 + w;
        g.y2 = g.y1 + h;
    }
    if (index == kNone) {
        platform.ShowMessage("No more polygons are available in this version of Tonewright.",
                             kProductName, MessageButtons::Ok, MessageIcon::Information);
        return kNone;
    }
    project.currentPolygon = index;
    project.currentText = kNone;
    project.propertiesTarget = kTargetPolygon;
    platform.RefreshProperties();
    return index;
}

int32_t InsertPanelText(Project& project, Platform& platform, int32_t x, int32_t y) {
    const int32_t index = project.InsertText(x, y);
    if (index == kNone) {
        platform.ShowMessage("No more texts are available in this version of Tonewright.",
                             kProductName, MessageButtons::Ok, MessageIcon::Information);
        return kNone;
    }
    project.currentText = index;
    project.currentPolygon = kNone;
    project.propertiesTarget = kTargetText;
    platform.RefreshProperties();
    return index;
}

namespace {

bool AskYes(Platform& platform, std::string_view question) {
    return platform.ShowMessage(question, kProductName, MessageButtons::YesNo,
                                MessageIcon::Question) == MessageAnswer::Yes;
}

// After an element went away the Properties window must not keep showing it.
void ForgetTarget(Project& project, Platform& platform, int32_t target) {
    if (project.propertiesTarget == target) project.propertiesTarget = kTargetNone;
    platform.RefreshProperties();
}

} // namespace

bool AskDeletePolygon(Project& project, Platform& platform) {
    const int32_t index = project.currentPolygon;
    if (index < 0 || index >= project.polygonCount) return false;
    if (!AskYes(platform, "Delete Polygon")) return false;
    project.DeletePolygon(index);
    project.currentPolygon = kNone;
    ForgetTarget(project, platform, kTargetPolygon);
    return true;
}

bool AskDeleteText(Project& project, Platform& platform) {
    const int32_t index = project.currentText;
    if (index < 0 || index >= project.textCount) return false;
    if (!AskYes(platform, "Delete Text")) return false;
    project.DeleteText(index);
    project.currentText = kNone;
    ForgetTarget(project, platform, kTargetText);
    return true;
}

bool AskDeleteParameter(Project& project, Platform& platform) {
    const int32_t slot = project.currentSlot;
    if (!IsParameter(project, slot)) return false;
    if (!AskYes(platform, "Delete Parameter")) return false;
    project.DeleteModule(slot);
    project.CountModules();
    project.currentSlot = kNone;
    if (project.propertiesTarget == kTargetModule) project.propertiesTarget = kTargetNone;
    ForgetTarget(project, platform, kTargetParameter);
    platform.RebuildMenus();
    return true;
}

void ScanSkins(Project& project, Platform& platform) {
    project.skinCount = 0;
    // The user's skins and the application's, each name once.
    std::vector<std::string> skins;
    const auto scan = [&](std::string_view root) {
        const std::optional<std::string> folder = SkinsFolder(root, platform);
        if (!folder) return;
        const auto names = platform.ListFolder(*folder);
        if (!names) return;
        for (const std::string& name : *names) {
            if (name.empty() || name == "." || name == "..") continue;
            // Only a folder can be listed: that is what tells a skin from a stray file.
            if (!platform.ListFolder(Join(*folder, name))) continue;
            if (std::find(skins.begin(), skins.end(), name) == skins.end()) skins.push_back(name);
        }
    };
    if (project.userFolder[0] != '\0') scan(GetText(project.userFolder));
    scan(GetText(project.appFolder));
    std::sort(skins.begin(), skins.end());
    for (const std::string& name : skins) {
        if (project.skinCount >= kSkinFolderCount) break;
        SetText(project.skinFolders[project.skinCount++], name);
    }
}

void SelectSkin(Project& project, Platform& platform, const std::string& name) {
    SetText(project.skinName, name);
    LoadSkinImages(project, platform);
}

} // namespace tw
