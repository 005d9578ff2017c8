#include "interaction/canvas_commands.h"

#include "model/catalogue.h"

namespace tw {

namespace {

// Removes the comments that the band selected or the last press flagged, keeping order.
void DeleteFlaggedComments(Project& p) noexcept {
    int32_t kept = 0;
    for (int32_t c = 0; c < p.commentCount && c < kCommentCount; ++c) {
        const CommentRecord& comment = p.comments[c];
        if (comment.selected || comment.clicked) continue;
        if (kept != c) p.comments[kept] = comment;
        ++kept;
    }
    p.commentCount = kept;
    for (CommentRecord& comment : p.comments) {
        comment.selected = 0;
        comment.clicked = 0;
    }
    p.currentComment = kNone;
}

void DeleteCurrentAndSelectedModules(Project& p) noexcept {
    if (IsSlot(p.currentSlot)) p.DeleteModule(p.currentSlot);
    for (int32_t s = 0; s < kSlotCount; ++s) {
        if (p.slots[s].selected && p.slots[s].type != kTypeEmpty) p.DeleteModule(s);
    }
}

} // namespace

void EvaluateBandSelection(Project& p, const CanvasSession& s) noexcept {
    for (ModuleSlot& module : p.slots) {
        const bool inside = module.type != kTypeEmpty && s.bandLeft < module.anchorX &&
                            module.anchorX < s.bandRight && s.bandTop < module.topY &&
                            module.topY < s.bandBottom;
        module.selected = inside ? 1 : 0;
        if (inside) {
            module.originX = module.anchorX;
            module.originY = module.topY;
        }
    }
    for (int32_t c = 0; c < p.commentCount && c < kCommentCount; ++c) {
        CommentRecord& comment = p.comments[c];
        const bool inside = s.bandLeft < comment.x && comment.x + p.commentBoxWidth < s.bandRight &&
                            s.bandTop < comment.y && comment.y + p.commentBoxHeight < s.bandBottom;
        comment.selected = inside ? 1 : 0;
        if (inside) {
            comment.originX = comment.x;
            comment.originY = comment.y;
        }
    }
}

void SelectAll(Project& p, CanvasSession& s) noexcept {
    for (ModuleSlot& module : p.slots) module.selected = 1;
    for (int32_t c = 0; c < p.commentCount && c < kCommentCount; ++c) {
        CommentRecord& comment = p.comments[c];
        comment.selected = 1;
        comment.originX = comment.x;
        comment.originY = comment.y;
    }
    s.bandLeft = kWholeCanvasLeft;
    s.bandTop = kWholeCanvasTop;
    s.bandRight = kWholeCanvasRight;
    s.bandBottom = kWholeCanvasBottom;
    EvaluateBandSelection(p, s);
    s.bandState = kBandSelected;
}

void DeleteSelectionFromContextMenu(Project& p, CanvasSession& s) noexcept {
    DeleteFlaggedComments(p);
    DeleteCurrentAndSelectedModules(p);
    p.currentSlot = kNone;
    ClearCanvasSelection(p, s);
    p.CountModules();
}

void DeleteSelectionFromEditMenu(Project& p, CanvasSession& s) noexcept {
    DeleteCurrentAndSelectedModules(p);
    DeleteFlaggedComments(p);
    p.currentSlot = kNone;
    ClearCanvasSelection(p, s);
    p.CountModules();
}

void CopyModule(Project& p, int32_t slot) noexcept {
    if (IsSlot(slot) && p.slots[slot].type != kTypeEmpty) p.clipboardType = p.slots[slot].type;
}

void CutSelectionFromContextMenu(Project& p, CanvasSession& s, int32_t slotUnderPointer) noexcept {
    CopyModule(p, slotUnderPointer);
    DeleteSelectionFromContextMenu(p, s);
}

void CutSelectionFromEditMenu(Project& p, CanvasSession& s) noexcept {
    CopyModule(p, p.currentSlot);
    DeleteSelectionFromEditMenu(p, s);
}

int32_t PasteModule(Project& p, int32_t x, int32_t y, int32_t guiWidth,
                    int32_t guiHeight) noexcept {
    const ModuleTypeInfo* info = FindModuleType(p.clipboardType);
    if (info == nullptr) return kNone;
    // One delay line, one reverb, one PolyWave engine and one output per project: a
    // second one would fight the first over the shared state.
    if (info->onePerProject && p.HasModuleOfType(info->type)) return kNone;
    if (p.CountModules() >= kSlotCount) return kNone;
    const int32_t slot = p.InsertModule(info->type, x, y, guiWidth, guiHeight);
    p.CountModules();
    return slot;
}

} // namespace tw
