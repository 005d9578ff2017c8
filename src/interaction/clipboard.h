#pragma once

// The Dsp Editor's clipboard: Cut and Copy take the selection (the current module, the
// band-selected modules and the flagged comments) with every setting the user made, the
// patch values, the panel controls and the cables among them; Paste puts a copy back as a
// group in fresh slots. What lies on the clipboard is a `Clipping`, a plain record that
// knows nothing of slots, so that it survives the deletion of what it came from and can be
// carried as text to another project or another running program (clipboard_text.h).
#include "interaction/canvas_interaction.h"
#include "model/project.h"
#include "platform/platform.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tw {

// One copied module. Positions are logical grid units relative to the group's top-left.
struct ClipModule {
    int32_t type = kTypeEmpty;
    int32_t x = 0;
    int32_t y = 0;
    std::string name;
    // Panel control settings (Parameters; kept for every type because they cost nothing).
    int32_t imageType = 0;
    int32_t mouseResponse = 0;
    int32_t renderOnBackground = 1;
    int32_t stepDirection = 1;
    int32_t showLabel = 1;
    int32_t steps = 100;
    int32_t panelX = kOffCanvas;
    int32_t panelY = kOffCanvas;
    std::array<int32_t, 3> labelColour = {};
    std::array<int32_t, kPatchCount> patchValues = {};
    std::array<int32_t, kPatchCount> spareValues = {};
};

struct ClipComment {
    int32_t x = 0; // logical, relative to the group's top-left
    int32_t y = 0;
    std::string text;
    int32_t showBackground = 1;
    int32_t showBorder = 1;
};

// A cable between two copied modules, by their places in `modules`.
struct ClipCable {
    int32_t fromModule = 0;
    int32_t output = 0; // port number 0..15 of the source module
    int32_t toModule = 0;
    int32_t input = 0;
};

struct Clipping {
    std::vector<ClipModule> modules;
    std::vector<ClipComment> comments;
    std::vector<ClipCable> cables;
    bool Empty() const noexcept { return modules.empty() && comments.empty(); }
};

// The selection as a clipping: the current module and the band-selected modules in slot
// order, the comments that are band-selected or clicked, and the cables whose both ends
// are among the copied modules. MIDI controller bindings stay with the original (a
// controller moves one control).
Clipping CopySelection(const Project& project);

// The slots of the modules a clipping would take, once single-instance types already in
// the project (or twice in the clipping) are left out.
struct PastePlan {
    std::vector<bool> keep;           // per clipping module
    std::vector<std::string> skipped; // names of the types left out, each once
    int32_t modules = 0;              // modules that would be inserted
};
PastePlan PlanPaste(const Project& project, const Clipping& clipping);

enum class PasteOutcome {
    Pasted,
    NothingToPaste, // empty clipping, or every module was a single-instance type present
    TooManyModules, // the 1024 slots would not hold the group: nothing changed
    TooManyComments,
};

// Inserts the clipping with its top-left at canvas point (x, y): fresh slots, the cables
// among the pasted modules, the group selected (band-selected, as Select All leaves it)
// and nothing else. Single-instance types that the project already holds are left out
// with one notice; a group that does not fit the 1024 slots (or the comment list) changes
// nothing and says so. The caller records the step.
PasteOutcome PasteClipping(Project& project, CanvasSession& session, Platform& platform,
                           const Clipping& clipping, int32_t x, int32_t y, int32_t guiWidth,
                           int32_t guiHeight);

// The clipping's box in canvas pixels at the project's zoom, relative to the point it
// would be pasted at: what the first free spot in view must have room for.
struct ClipBox {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};
ClipBox ClippingBox(const Project& project, const Clipping& clipping);

// The first spot in view (top-left first, on the grid) where a box of that shape meets no
// module or comment; the pointer while it is over the canvas.
CanvasPoint PastePointFor(const Project& project, const CanvasSession& session,
                          const ClipBox& box) noexcept;

inline constexpr const char* kCommentLimitMessage =
    "The project holds 128 comments, so the copied comments do not fit.";

} // namespace tw
