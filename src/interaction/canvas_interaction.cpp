#include "interaction/canvas_interaction.h"

#include "interaction/canvas_commands.h"
#include "model/catalogue.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tw {

namespace {

bool StrictlyInsideMarker(const PortRecord& port, int32_t size, int32_t x, int32_t y) noexcept {
    return port.x < x && x < port.x + size && port.y < y && y < port.y + size;
}

// Starts a loose cable whose fixed end is the given marker.
void StartCable(CanvasSession& s, const PortRecord& fixedEnd) noexcept {
    s.cableFixedX = fixedEnd.x;
    s.cableFixedY = fixedEnd.y;
    s.cableVisible = true;
}

void StartCableFromInput(Project& p, CanvasSession& s, int32_t input) noexcept {
    const int32_t source = p.outputs[input].link;
    if (IsPort(source)) {
        // Picked up at its input end: the cable now hangs from its output.
        p.outputs[input].link = kNone;
        if (p.inputs[source].link == input) p.inputs[source].link = kNone;
        s.dragSourceOutput = source;
        s.dragFromOutput = true;
        StartCable(s, p.outputs[source]);
        p.RebuildRoutes();
    } else {
        s.dragSourceInput = input;
        s.dragFromInput = true;
        StartCable(s, p.inputs[input]);
    }
}

void StartCableFromOutput(Project& p, CanvasSession& s, int32_t output) noexcept {
    const int32_t fed = p.inputs[output].link;
    if (IsPort(fed)) {
        // Picked up at its output end: the cable now hangs from its input.
        p.inputs[output].link = kNone;
        if (p.outputs[fed].link == output) p.outputs[fed].link = kNone;
        s.dragSourceInput = fed;
        s.dragFromInput = true;
        StartCable(s, p.inputs[fed]);
        p.RebuildRoutes();
    } else {
        s.dragSourceOutput = output;
        s.dragFromOutput = true;
        StartCable(s, p.outputs[output]);
    }
}

void ClearCommentFlags(Project& p) noexcept {
    for (CommentRecord& c : p.comments) c.clicked = 0;
    p.currentComment = kNone;
}

void SetBand(CanvasSession& s, int32_t left, int32_t top, int32_t right, int32_t bottom) noexcept {
    s.bandLeft = left;
    s.bandTop = top;
    s.bandRight = right;
    s.bandBottom = bottom;
}

// A free input the loose cable from an output could land on.
int32_t FreeInputAt(const Project& p, int32_t x, int32_t y) noexcept {
    const int32_t input = HitInput(p, x, y);
    return input != kNone && p.outputs[input].link == kNone ? input : kNone;
}

int32_t FreeOutputAt(const Project& p, int32_t x, int32_t y) noexcept {
    const int32_t output = HitOutput(p, x, y);
    return output != kNone && p.inputs[output].link == kNone ? output : kNone;
}

} // namespace

int32_t HitInput(const Project& p, int32_t x, int32_t y) noexcept {
    for (int32_t k = 0; k < kPortCount; ++k) {
        const PortRecord& port = p.inputs[k];
        if (port.kind == kPortNone || port.kind == kPortHidden) continue;
        if (StrictlyInsideMarker(port, p.portSize, x, y)) return k;
    }
    return kNone;
}

int32_t HitOutput(const Project& p, int32_t x, int32_t y) noexcept {
    for (int32_t k = 0; k < kPortCount; ++k) {
        const PortRecord& port = p.outputs[k];
        if (port.kind == kPortNone) continue;
        if (StrictlyInsideMarker(port, p.portSize, x, y)) return k;
    }
    return kNone;
}

int32_t FindModuleAt(const Project& p, int32_t x, int32_t y) noexcept {
    for (int32_t slot = kSlotCount - 1; slot >= 0; --slot) {
        const ModuleSlot& s = p.slots[slot];
        if (s.type == kTypeEmpty) continue;
        if (s.anchorX - s.halfWidthPx <= x && x <= s.anchorX + s.halfWidthPx && s.topY <= y &&
            y <= s.topY + s.heightPx)
            return slot;
    }
    return kNone;
}

bool HitModule(Project& p, CanvasSession& s, int32_t x, int32_t y) noexcept {
    const int32_t slot = FindModuleAt(p, x, y);
    p.currentSlot = slot;
    if (slot == kNone) {
        s.grabbed = false;
        return false;
    }
    const ModuleSlot& module = p.slots[slot];
    s.grabbed = true;
    s.grabDx = x - module.anchorX;
    s.grabDy = y - module.topY;
    p.propertiesTarget = module.type == kTypeParameter ? kTargetParameter : kTargetModule;
    return true;
}

bool HitComment(Project& p, CanvasSession& s, int32_t x, int32_t y) noexcept {
    ClearCommentFlags(p);
    for (int32_t c = 0; c < p.commentCount && c < kCommentCount; ++c) {
        CommentRecord& comment = p.comments[c];
        if (comment.x < x && x < comment.x + p.commentBoxWidth && comment.y < y &&
            y < comment.y + p.commentBoxHeight) {
            comment.clicked = 1;
            p.currentComment = c;
            s.commentGrabDx = x - comment.x;
            s.commentGrabDy = y - comment.y;
        }
    }
    return p.currentComment != kNone;
}

void ResetCableDrag(CanvasSession& s) noexcept {
    s.dragFromInput = false;
    s.dragFromOutput = false;
    s.dragSourceInput = kNone;
    s.dragSourceOutput = kNone;
    s.cableVisible = false;
}

void ClearCanvasSelection(Project& p, CanvasSession& s) noexcept {
    s.bandState = kBandIdle;
    s.bandVisible = false;
    p.ClearSelection();
}

int32_t SnapCoordinate(const Project& p, int32_t v) noexcept {
    if (!p.snapToGrid) return v;
    const int32_t g = p.SnapStep();
    return (v / g) * g;
}

void RunBandMachine(Project& p, CanvasSession& s, bool buttonDown) noexcept {
    switch (s.bandState) {
    case kBandIdle:
        if (buttonDown) s.bandState = kBandArmed;
        break;
    case kBandArmed:
        if (buttonDown) {
            s.bandVisible = true;
            SetBand(s, s.pointerX, s.pointerY, s.pointerX, s.pointerY);
            s.bandState = kBandStretching;
        }
        break;
    case kBandStretching:
        if (buttonDown) {
            SetBand(s, std::min(s.pressX, s.pointerX), std::min(s.pressY, s.pointerY),
                    std::max(s.pressX, s.pointerX), std::max(s.pressY, s.pointerY));
            EvaluateBandSelection(p, s);
        } else {
            s.bandState = kBandSelected;
        }
        break;
    case kBandSelected:
        if (s.bandLeft == s.bandRight || s.bandTop == s.bandBottom) {
            ClearCanvasSelection(p, s);
            break;
        }
        if (buttonDown) {
            const bool inside = s.bandLeft < s.pointerX && s.pointerX < s.bandRight &&
                                s.bandTop < s.pointerY && s.pointerY < s.bandBottom;
            if (inside) {
                s.bandState = kBandMoving;
                s.bandVisible = false;
            } else {
                ClearCanvasSelection(p, s);
            }
        }
        break;
    case kBandMoving:
        if (buttonDown)
            MoveSelection(p, s);
        else
            ClearCanvasSelection(p, s);
        break;
    default:
        ClearCanvasSelection(p, s);
        break;
    }
}

void MoveSelection(Project& p, const CanvasSession& s) noexcept {
    const int32_t dx = SnapCoordinate(p, s.pointerX) - s.pressX;
    const int32_t dy = SnapCoordinate(p, s.pointerY) - s.pressY;
    for (int32_t c = 0; c < p.commentCount && c < kCommentCount; ++c) {
        CommentRecord& comment = p.comments[c];
        if (!comment.selected) continue;
        comment.x = comment.originX + dx;
        comment.y = comment.originY + dy;
    }
    for (int32_t slot = 0; slot < kSlotCount; ++slot) {
        const ModuleSlot& module = p.slots[slot];
        if (module.type == kTypeEmpty || !module.selected) continue;
        p.PlaceModule(slot, module.originX + dx, module.originY + dy);
    }
    p.CapturePositions();
    p.Relayout();
}

void LeftPress(Project& p, CanvasSession& s, int32_t x, int32_t y) noexcept {
    s.buttonDown = true;
    p.propertiesTarget = kTargetNone;
    if (p.lockEdit) return;
    s.pressX = x;
    s.pressY = y;
    s.pointerX = x;
    s.pointerY = y;
    ResetCableDrag(s);
    s.hoverInput = kNone;
    s.hoverOutput = kNone;

    const int32_t input = HitInput(p, x, y);
    const int32_t output = input == kNone ? HitOutput(p, x, y) : kNone;
    // The module under a port becomes current too, so the Properties window follows the
    // module whose cable is being drawn.
    const bool onModule = HitModule(p, s, x, y);
    const bool onComment = !onModule && HitComment(p, s, x, y);
    if (onModule) ClearCommentFlags(p);

    if (input != kNone) {
        StartCableFromInput(p, s, input);
        s.dragMode = kDragCable;
        ClearCanvasSelection(p, s);
    } else if (output != kNone) {
        StartCableFromOutput(p, s, output);
        s.dragMode = kDragCable;
        ClearCanvasSelection(p, s);
    } else if (onModule) {
        s.dragMode = kDragModule;
        ClearCanvasSelection(p, s);
    } else if (onComment) {
        s.dragMode = kDragComment;
        p.propertiesTarget = kTargetComment;
        ClearCanvasSelection(p, s);
    } else {
        RunBandMachine(p, s, true);
        s.dragMode = kDragCanvas;
        if (s.shiftHeld) {
            SetBand(s, kWholeCanvasLeft, kWholeCanvasTop, kWholeCanvasRight, kWholeCanvasBottom);
            EvaluateBandSelection(p, s);
            s.bandState = kBandSelected;
        }
        for (ModuleSlot& module : p.slots) {
            if (module.type == kTypeEmpty) continue;
            module.originX = module.anchorX;
            module.originY = module.topY;
        }
    }
}

void PointerMove(Project& p, CanvasSession& s, int32_t x, int32_t y) noexcept {
    // Positions past 16384 are negative 16-bit coordinates from outside the window.
    if (x < 0 || x > 16384) x = 0;
    if (y < 0 || y > 16384) y = 0;
    s.pointerX = x;
    s.pointerY = y;
    if (s.buttonDown) {
        s.hoverInput = s.dragFromOutput ? FreeInputAt(p, x, y) : kNone;
        s.hoverOutput = s.dragFromInput ? FreeOutputAt(p, x, y) : kNone;
    }
    if (p.lockEdit) return;
    switch (s.dragMode) {
    case kDragModule:
        if (s.buttonDown && IsSlot(p.currentSlot) && s.grabbed &&
            p.slots[p.currentSlot].type != kTypeEmpty) {
            p.PlaceModule(p.currentSlot, x - s.grabDx, y - s.grabDy);
            p.CapturePositions();
            p.Relayout();
        }
        break;
    case kDragComment: {
        if (!s.buttonDown || (x == s.pressX && y == s.pressY)) break;
        for (int32_t c = 0; c < p.commentCount && c < kCommentCount; ++c) {
            CommentRecord& comment = p.comments[c];
            if (!comment.clicked) continue;
            comment.x = SnapCoordinate(p, x) - s.commentGrabDx;
            comment.y = SnapCoordinate(p, y) - s.commentGrabDy;
            p.CapturePositions();
            break;
        }
        break;
    }
    case kDragCanvas:
        if (p.currentSlot == kNone) RunBandMachine(p, s, s.buttonDown);
        break;
    default:
        break;
    }
}

void LeftRelease(Project& p, CanvasSession& s, int32_t x, int32_t y) noexcept {
    // A release whose drag a right press has already ended (or whose press the canvas
    // never saw) ends nothing more.
    if (!s.buttonDown) return;
    s.buttonDown = false;
    s.hoverInput = kNone;
    s.hoverOutput = kNone;
    s.grabbed = false;
    if (p.lockEdit) return;
    if (x >= 0 && y >= 0) {
        s.pointerX = x;
        s.pointerY = y;
    }
    switch (s.dragMode) {
    case kDragCable: {
        const int32_t input = HitInput(p, x, y);
        const int32_t output = HitOutput(p, x, y);
        if (s.dragFromOutput && input != kNone && p.outputs[input].link == kNone) {
            // Drawn from the output end: a Parameter takes the name of what it drives.
            p.Connect(s.dragSourceOutput, input, true);
        } else if (s.dragFromInput && output != kNone && p.inputs[output].link == kNone) {
            p.Connect(output, s.dragSourceInput, false);
        }
        ResetCableDrag(s);
        p.RebuildRoutes();
        p.RelayoutPatchbays();
        break;
    }
    case kDragCanvas:
        if (s.bandState == kBandArmed) {
            SetBand(s, s.pointerX, s.pointerY, s.pointerX, s.pointerY);
            s.bandState = kBandStretching;
        } else if (s.bandState == kBandSelected) {
            s.bandState = kBandMoving;
        }
        RunBandMachine(p, s, false);
        break;
    default:
        break;
    }
}

RightPressHit RightPress(Project& p, CanvasSession& s, int32_t x, int32_t y) noexcept {
    // The context menu takes the pointer, so the left button's release would never reach
    // the canvas: a drag still running ends here, as that release would end it.
    LeftRelease(p, s, x, y);
    RightPressHit hit;
    if (HitModule(p, s, x, y)) hit.slot = p.currentSlot;
    if (HitComment(p, s, x, y)) hit.comment = p.currentComment;
    return hit;
}

bool WheelZoom(Project& p, CanvasSession& s, int32_t delta) noexcept {
    s.wheelPending += delta;
    const int32_t notches = s.wheelPending / 120;
    if (notches == 0) return false;
    s.wheelPending -= notches * 120;
    p.previousZoom = p.zoom;
    p.zoom = std::clamp(p.zoom + notches, kMinZoom, kMaxZoom);
    ClearCanvasSelection(p, s);
    p.Relayout();
    return true;
}

namespace {

// The module whose box or name lies under canvas point (x, y), the topmost first.
int32_t ModuleOrNameAt(const Project& p, int32_t x, int32_t y) noexcept {
    for (int32_t slot = kSlotCount - 1; slot >= 0; --slot) {
        const ModuleSlot& m = p.slots[slot];
        if (m.type == kTypeEmpty) continue;
        if (m.anchorX - m.halfWidthPx <= x && x <= m.anchorX + m.halfWidthPx &&
            m.topY - 3 * p.zoom <= y && y <= m.topY + m.heightPx + p.zoom)
            return slot;
    }
    return kNone;
}

// The x a module's details hang from at the current zoom: ports, labels and displays keep
// 4 px from the box's side and grow with z from there; the name is centred.
int32_t DetailOrigin(const Project& p, int32_t slot, int32_t side) noexcept {
    const ModuleSlot& m = p.slots[slot];
    return side == 0 ? m.anchorX : m.anchorX + side * (m.halfWidthPx - 4);
}

} // namespace

bool WheelZoomAt(Project& p, CanvasSession& s, int32_t delta, int32_t viewX,
                 int32_t viewY) noexcept {
    CanvasSession::WheelAnchor& a = s.wheelAnchor;
    const int32_t canvasX = viewX + p.viewOriginX, canvasY = viewY + p.viewOriginY;
    const bool still = a.set && a.viewX == viewX && a.viewY == viewY &&
                       a.originX == p.viewOriginX && a.originY == p.viewOriginY &&
                       a.zoom == p.zoom && ModuleOrNameAt(p, canvasX, canvasY) == a.slot;
    if (!still) {
        a.slot = ModuleOrNameAt(p, canvasX, canvasY);
        a.x = canvasX / double(p.zoom + 1);
        a.y = canvasY / double(p.zoom + 1);
        if (a.slot != kNone) {
            const ModuleSlot& m = p.slots[a.slot];
            a.side = canvasY < m.topY ? 0 : canvasX < m.anchorX ? -1 : 1;
            a.x = (canvasX - DetailOrigin(p, a.slot, a.side)) / double(p.zoom);
            a.y = (canvasY - m.topY) / double(p.zoom);
        }
    }
    if (!WheelZoom(p, s, delta)) return false;
    double x = a.x * (p.zoom + 1), y = a.y * (p.zoom + 1);
    if (a.slot != kNone) {
        x = DetailOrigin(p, a.slot, a.side) + a.x * p.zoom;
        y = p.slots[a.slot].topY + a.y * p.zoom;
    }
    // Only 0 limits the origin here: the usual scroll range would pull what is under the
    // pointer away from it, and the range grows to hold the origin the wheel sets.
    p.viewOriginX = std::max(0, static_cast<int32_t>(std::lround(x)) - viewX);
    p.viewOriginY = std::max(0, static_cast<int32_t>(std::lround(y)) - viewY);
    a = {true, viewX, viewY, p.viewOriginX, p.viewOriginY, p.zoom, a.slot, a.side, a.x, a.y};
    return true;
}

namespace {

// Everything on the canvas, with the names above the boxes: left, top, right, bottom.
struct Extent {
    bool any = false;
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    void Add(int32_t l, int32_t t, int32_t r, int32_t b) noexcept {
        left = any ? std::min(left, l) : l;
        top = any ? std::min(top, t) : t;
        right = any ? std::max(right, r) : r;
        bottom = any ? std::max(bottom, b) : b;
        any = true;
    }
};

// The extent at zoom z, from the logical positions (screen = logical x (z + 1)).
Extent ContentAt(const Project& p, int32_t z) noexcept {
    Extent e;
    for (const ModuleSlot& s : p.slots) {
        if (s.type == kTypeEmpty) continue;
        const int32_t x = s.gx * (z + 1), y = s.gy * (z + 1);
        const int32_t half =
            std::max(s.halfWidthUnits * z, static_cast<int32_t>(std::strlen(s.name) * 2 * z));
        e.Add(x - half, y - 4 * z, x + half + z, y + s.heightUnits * z + 2 * z);
    }
    for (int32_t c = 0; c < p.commentCount && c < kCommentCount; ++c) {
        const int32_t x = p.comments[c].gx * (z + 1), y = p.comments[c].gy * (z + 1);
        e.Add(x - 2, y - 2, x + 36 * z, y + 12 * z);
    }
    return e;
}

} // namespace

ScrollRange CanvasScrollRange(const Project& p, int32_t viewWidth, int32_t viewHeight) noexcept {
    const Extent e = ContentAt(p, p.zoom);
    ScrollRange r;
    // Half a view past the last thing leaves room to put the next one.
    r.maxX = std::max({0, p.viewOriginX, e.right + viewWidth / 2 - viewWidth});
    r.maxY = std::max({0, p.viewOriginY, e.bottom + viewHeight / 2 - viewHeight});
    return r;
}

void ScrollViewTo(Project& p, int32_t x, int32_t y, int32_t viewWidth,
                  int32_t viewHeight) noexcept {
    const Extent e = ContentAt(p, p.zoom);
    const int32_t maxX = std::max(0, e.right + viewWidth / 2 - viewWidth);
    const int32_t maxY = std::max(0, e.bottom + viewHeight / 2 - viewHeight);
    p.viewOriginX = std::clamp(x, 0, std::max(maxX, std::min(x, p.viewOriginX)));
    p.viewOriginY = std::clamp(y, 0, std::max(maxY, std::min(y, p.viewOriginY)));
}

void FitAll(Project& p, CanvasSession& s) noexcept {
    if (!ContentAt(p, kMaxZoom).any || s.viewWidth <= 0 || s.viewHeight <= 0) return;
    int32_t z = kMinZoom;
    for (int32_t t = kMaxZoom; t > kMinZoom; --t) {
        const Extent e = ContentAt(p, t);
        if (e.right - std::max(e.left, 0) + 8 <= s.viewWidth &&
            e.bottom - std::max(e.top, 0) + 8 <= s.viewHeight) {
            z = t;
            break;
        }
    }
    if (z != p.zoom) {
        p.previousZoom = p.zoom;
        p.zoom = z;
        ClearCanvasSelection(p, s);
        p.Relayout();
    }
    const Extent e = ContentAt(p, z);
    const int32_t left = std::max(e.left, 0), top = std::max(e.top, 0);
    // Centred in the view where everything fits; where even the smallest zoom is too
    // small, each direction that does not fit starts at the top-left module, so that the
    // view shows modules rather than the empty middle of a wide spread.
    const bool fitsX = e.right - left + 8 <= s.viewWidth;
    const bool fitsY = e.bottom - top + 8 <= s.viewHeight;
    const int32_t x = fitsX ? (left + e.right - s.viewWidth) / 2 : left - 4;
    const int32_t y = fitsY ? (top + e.bottom - s.viewHeight) / 2 : top - 4;
    p.viewOriginX = std::max(x, 0);
    p.viewOriginY = std::max(y, 0);
}

void ForgetReplacedProject(CanvasSession& s) noexcept {
    ResetCableDrag(s);
    s.hoverInput = kNone;
    s.hoverOutput = kNone;
    s.bandState = kBandIdle;
    s.bandVisible = false;
}

} // namespace tw
