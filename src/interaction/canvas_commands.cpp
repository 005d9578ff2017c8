#include "interaction/canvas_commands.h"

#include "interaction/clipboard_text.h"
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

bool CopySelectionToClipboard(const Project& p, Platform& platform) {
    const Clipping clip = CopySelection(p);
    if (clip.Empty()) return false;
    platform.SetClipboardText(ClippingToText(clip));
    return true;
}

void CutSelectionFromContextMenu(Project& p, CanvasSession& s, Platform& platform) {
    CopySelectionToClipboard(p, platform);
    DeleteSelectionFromContextMenu(p, s);
}

void CutSelectionFromEditMenu(Project& p, CanvasSession& s, Platform& platform) {
    CopySelectionToClipboard(p, platform);
    DeleteSelectionFromEditMenu(p, s);
}

PasteOutcome PasteFromClipboard(Project& p, CanvasSession& s, Platform& platform,
                                std::optional<CanvasPoint> at, int32_t guiWidth,
                                int32_t guiHeight) {
    const std::optional<Clipping> clip = ClippingFromText(platform.ClipboardText());
    if (!clip) return PasteOutcome::NothingToPaste;
    const CanvasPoint point = at ? *at : PastePointFor(p, s, ClippingBox(p, *clip));
    return PasteClipping(p, s, platform, *clip, point.x, point.y, guiWidth, guiHeight);
}

} // namespace tw
