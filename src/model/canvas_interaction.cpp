#include "model/canvas_interaction.h"

#include "model/canvas_commands.h"

#include <algorithm>

namespace tw {

namespace {

bool StrictlyInsideMarker(const PortRecord& port, int32_t size, int32_t x, int32_t y) noexcept {
    return port.x < x && x < port.x + size && port.y < y && y < port.y + size;
}

// Starts a loose cable whose fixed end is the given marker.
void StartCable(Project& p, const PortRecord& fixedEnd) noexcept {
    p.cableFixedX = fixedEnd.x;
    p.cableFixedY = fixedEnd.y;
    p.cableVisible = 1;
}

void StartCableFromInput(Project& p, int32_t input) noexcept {
    const int32_t source = p.outputs[input].link;
    if (IsPort(source)) {
        // Picked up at its input end: the cable now hangs from its output.
        p.outputs[input].link = kNone;
        if (p.inputs[source].link == input) p.inputs[source].link = kNone;
        p.dragSourceOutput = source;
        p.dragFromOutput = 1;
        StartCable(p, p.outputs[source]);
        p.RebuildRoutes();
    } else {
        p.dragSourceInput = input;
        p.dragFromInput = 1;
        StartCable(p, p.inputs[input]);
    }
}

void StartCableFromOutput(Project& p, int32_t output) noexcept {
    const int32_t fed = p.inputs[output].link;
    if (IsPort(fed)) {
        // Picked up at its output end: the cable now hangs from its input.
        p.inputs[output].link = kNone;
        if (p.outputs[fed].link == output) p.outputs[fed].link = kNone;
        p.dragSourceInput = fed;
        p.dragFromInput = 1;
        StartCable(p, p.inputs[fed]);
        p.RebuildRoutes();
    } else {
        p.dragSourceOutput = output;
        p.dragFromOutput = 1;
        StartCable(p, p.outputs[output]);
    }
}

void ClearCommentFlags(Project& p) noexcept {
    for (CommentRecord& c : p.comments) c.clicked = 0;
    p.currentComment = kNone;
}

void SetBand(Project& p, int32_t left, int32_t top, int32_t right, int32_t bottom) noexcept {
    p.bandLeft = left;
    p.bandTop = top;
    p.bandRight = right;
    p.bandBottom = bottom;
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

bool HitModule(Project& p, int32_t x, int32_t y) noexcept {
    const int32_t slot = FindModuleAt(p, x, y);
    p.currentSlot = slot;
    if (slot == kNone) {
        p.grabbed = 0;
        return false;
    }
    const ModuleSlot& s = p.slots[slot];
    p.grabbed = 1;
    p.grabDx = x - s.anchorX;
    p.grabDy = y - s.topY;
    p.propertiesTarget = s.type == kTypeParameter ? kTargetParameter : kTargetModule;
    return true;
}

bool HitComment(Project& p, int32_t x, int32_t y) noexcept {
    ClearCommentFlags(p);
    for (int32_t c = 0; c < p.commentCount && c < kCommentCount; ++c) {
        CommentRecord& comment = p.comments[c];
        if (comment.x < x && x < comment.x + p.commentBoxWidth && comment.y < y &&
            y < comment.y + p.commentBoxHeight) {
            comment.clicked = 1;
            p.currentComment = c;
            p.commentGrabDx = x - comment.x;
            p.commentGrabDy = y - comment.y;
        }
    }
    return p.currentComment != kNone;
}

void ResetCableDrag(Project& p) noexcept {
    p.dragFromInput = 0;
    p.dragFromOutput = 0;
    p.dragSourceInput = kNone;
    p.dragSourceOutput = kNone;
    p.cableVisible = 0;
}

int32_t SnapCoordinate(const Project& p, int32_t v) noexcept {
    if (!p.snapToGrid) return v;
    const int32_t g = p.SnapStep();
    return (v / g) * g;
}

void RunBandMachine(Project& p, bool buttonDown) noexcept {
    switch (p.bandState) {
    case kBandIdle:
        if (buttonDown) p.bandState = kBandArmed;
        break;
    case kBandArmed:
        if (buttonDown) {
            p.bandVisible = 1;
            SetBand(p, p.pointerX, p.pointerY, p.pointerX, p.pointerY);
            p.bandState = kBandStretching;
        }
        break;
    case kBandStretching:
        if (buttonDown) {
            SetBand(p, std::min(p.pressX, p.pointerX), std::min(p.pressY, p.pointerY),
                    std::max(p.pressX, p.pointerX), std::max(p.pressY, p.pointerY));
            EvaluateBandSelection(p);
        } else {
            p.bandState = kBandSelected;
        }
        break;
    case kBandSelected:
        if (p.bandLeft == p.bandRight || p.bandTop == p.bandBottom) {
            p.ClearSelection();
            break;
        }
        if (buttonDown) {
            const bool inside = p.bandLeft < p.pointerX && p.pointerX < p.bandRight &&
                                p.bandTop < p.pointerY && p.pointerY < p.bandBottom;
            if (inside) {
                p.bandState = kBandMoving;
                p.bandVisible = 0;
            } else {
                p.ClearSelection();
            }
        }
        break;
    case kBandMoving:
        if (buttonDown)
            MoveSelection(p);
        else
            p.ClearSelection();
        break;
    default:
        p.ClearSelection();
        break;
    }
}

void MoveSelection(Project& p) noexcept {
    const int32_t dx = SnapCoordinate(p, p.pointerX) - p.pressX;
    const int32_t dy = SnapCoordinate(p, p.pointerY) - p.pressY;
    for (int32_t c = 0; c < p.commentCount && c < kCommentCount; ++c) {
        CommentRecord& comment = p.comments[c];
        if (!comment.selected) continue;
        comment.x = comment.originX + dx;
        comment.y = comment.originY + dy;
    }
    for (int32_t slot = 0; slot < kSlotCount; ++slot) {
        const ModuleSlot& s = p.slots[slot];
        if (s.type == kTypeEmpty || !s.selected) continue;
        p.PlaceModule(slot, s.originX + dx, s.originY + dy);
    }
    p.CapturePositions();
    p.Relayout();
}

void LeftPress(Project& p, int32_t x, int32_t y) noexcept {
    p.buttonDown = 1;
    p.propertiesTarget = kTargetNone;
    if (p.lockEdit) return;
    p.pressX = x;
    p.pressY = y;
    p.pointerX = x;
    p.pointerY = y;
    ResetCableDrag(p);
    p.hoverInput = kNone;
    p.hoverOutput = kNone;

    const int32_t input = HitInput(p, x, y);
    const int32_t output = input == kNone ? HitOutput(p, x, y) : kNone;
    // The module under a port becomes current too, so the Properties window follows the
    // module whose cable is being drawn.
    const bool onModule = HitModule(p, x, y);
    const bool onComment = !onModule && HitComment(p, x, y);
    if (onModule) ClearCommentFlags(p);

    if (input != kNone) {
        StartCableFromInput(p, input);
        p.dragMode = kDragCable;
        p.ClearSelection();
    } else if (output != kNone) {
        StartCableFromOutput(p, output);
        p.dragMode = kDragCable;
        p.ClearSelection();
    } else if (onModule) {
        p.dragMode = kDragModule;
        p.ClearSelection();
    } else if (onComment) {
        p.dragMode = kDragComment;
        p.propertiesTarget = kTargetComment;
        p.ClearSelection();
    } else {
        RunBandMachine(p, true);
        p.dragMode = kDragCanvas;
        if (p.shiftHeld) {
            SetBand(p, kWholeCanvasLeft, kWholeCanvasTop, kWholeCanvasRight, kWholeCanvasBottom);
            EvaluateBandSelection(p);
            p.bandState = kBandSelected;
        }
        for (ModuleSlot& s : p.slots) {
            if (s.type == kTypeEmpty) continue;
            s.originX = s.anchorX;
            s.originY = s.topY;
        }
    }
}

void PointerMove(Project& p, int32_t x, int32_t y) noexcept {
    // Positions past 16384 are negative 16-bit coordinates from outside the window.
    if (x < 0 || x > 16384) x = 0;
    if (y < 0 || y > 16384) y = 0;
    p.pointerX = x;
    p.pointerY = y;
    if (p.buttonDown) {
        p.hoverInput = p.dragFromOutput ? FreeInputAt(p, x, y) : kNone;
        p.hoverOutput = p.dragFromInput ? FreeOutputAt(p, x, y) : kNone;
    }
    if (p.lockEdit) return;
    switch (p.dragMode) {
    case kDragModule:
        if (p.buttonDown && IsSlot(p.currentSlot) && p.grabbed &&
            p.slots[p.currentSlot].type != kTypeEmpty) {
            p.PlaceModule(p.currentSlot, x - p.grabDx, y - p.grabDy);
            p.CapturePositions();
            p.Relayout();
        }
        break;
    case kDragComment: {
        if (!p.buttonDown || (x == p.pressX && y == p.pressY)) break;
        for (int32_t c = 0; c < p.commentCount && c < kCommentCount; ++c) {
            CommentRecord& comment = p.comments[c];
            if (!comment.clicked) continue;
            comment.x = SnapCoordinate(p, x) - p.commentGrabDx;
            comment.y = SnapCoordinate(p, y) - p.commentGrabDy;
            p.CapturePositions();
            break;
        }
        break;
    }
    case kDragCanvas:
        if (p.currentSlot == kNone) RunBandMachine(p, p.buttonDown != 0);
        break;
    default:
        break;
    }
}

void LeftRelease(Project& p, int32_t x, int32_t y) noexcept {
    // A release whose drag a right press has already ended (or whose press the canvas
    // never saw) ends nothing more.
    if (!p.buttonDown) return;
    p.buttonDown = 0;
    p.hoverInput = kNone;
    p.hoverOutput = kNone;
    p.grabbed = 0;
    if (p.lockEdit) return;
    if (x >= 0 && y >= 0) {
        p.pointerX = x;
        p.pointerY = y;
    }
    switch (p.dragMode) {
    case kDragCable: {
        const int32_t input = HitInput(p, x, y);
        const int32_t output = HitOutput(p, x, y);
        if (p.dragFromOutput && input != kNone && p.outputs[input].link == kNone) {
            // Drawn from the output end: a Parameter takes the name of what it drives.
            p.Connect(p.dragSourceOutput, input, true);
        } else if (p.dragFromInput && output != kNone && p.inputs[output].link == kNone) {
            p.Connect(output, p.dragSourceInput, false);
        }
        ResetCableDrag(p);
        p.RebuildRoutes();
        p.RelayoutPatchbays();
        break;
    }
    case kDragCanvas:
        if (p.bandState == kBandArmed) {
            SetBand(p, p.pointerX, p.pointerY, p.pointerX, p.pointerY);
            p.bandState = kBandStretching;
        } else if (p.bandState == kBandSelected) {
            p.bandState = kBandMoving;
        }
        RunBandMachine(p, false);
        break;
    default:
        break;
    }
}

RightPressHit RightPress(Project& p, int32_t x, int32_t y) noexcept {
    // The context menu takes the pointer, so the left button's release would never reach
    // the canvas: a drag still running ends here, as that release would end it.
    LeftRelease(p, x, y);
    RightPressHit hit;
    if (HitModule(p, x, y)) hit.slot = p.currentSlot;
    if (HitComment(p, x, y)) hit.comment = p.currentComment;
    return hit;
}

bool WheelZoom(Project& p, int32_t delta, int32_t& pending) noexcept {
    pending += delta;
    const int32_t notches = pending / 120;
    if (notches == 0) return false;
    pending -= notches * 120;
    p.previousZoom = p.zoom;
    p.zoom = std::clamp(p.zoom + notches, kMinZoom, kMaxZoom);
    p.ClearSelection();
    p.Relayout();
    return true;
}

} // namespace tw
