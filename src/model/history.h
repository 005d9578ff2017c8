#pragma once

// The edit history: every change to the project is a step that can be undone and redone.
//
// The record is a few megabytes of fixed tables, so a step is not a copy of it: the history
// keeps one shadow of the record as it stood after the last step and, when a step is
// committed, stores only the byte runs that differ from the shadow (their old and new
// bytes). Undo and redo write those runs back, then rebuild what follows from them (routes,
// active list, screen layout, parameter values). Because the step is taken from the record
// itself, an operation can never forget to record a field it changed.
#include "model/project.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

// Past this many bytes of steps the oldest steps are dropped.
inline constexpr std::size_t kDefaultHistoryBytes = std::size_t{64} << 20;

// How a committed change is named and whether it joins the step before it.
enum class StepKind : int32_t {
    Named, // the given name, or one made from what changed when the name is empty
    Verb,  // the given verb in place of the one made from what changed ("Cut 3 Modules")
    Merge, // typing and slider moves: joins the step before when it has the same name and
           // nothing was undone, redone or saved in between
};

// What undo or redo changed that the record's rebuild cannot reach.
struct StepEffects {
    bool applied = false;
    bool skinChanged = false;       // the skin images must be read again
    bool patchNamesChanged = false; // the toolbar shows the current patch's name
};

class EditHistory {
public:
    explicit EditHistory(std::size_t memoryLimit = kDefaultHistoryBytes);
    ~EditHistory();
    EditHistory(const EditHistory&) = delete;
    EditHistory& operator=(const EditHistory&) = delete;

    // Forgets every step and takes the project as it stands as the saved starting point
    // (a new or an opened project).
    void Reset(const Project& project);

    // Records what changed since the last step as one step. Changes to the selection, the
    // current objects and screen positions alone make no step (they are carried along
    // with the next one). Returns whether a step was recorded.
    bool Commit(const Project& project, std::string_view name = {},
                StepKind kind = StepKind::Named);

    bool CanUndo() const noexcept { return position_ > 0; }
    bool CanRedo() const noexcept { return position_ < steps_.size(); }
    // The name of the step Undo / Redo would take back or do again ("" when none).
    std::string_view UndoName() const noexcept;
    std::string_view RedoName() const noexcept;

    // Puts the project back as it was before the last step, or forward after the next one.
    // A change not yet committed becomes a step of its own first.
    StepEffects Undo(Project& project);
    StepEffects Redo(Project& project);

    // The next Merge commit starts a step of its own (the editors moved to another object).
    void CloseMerge() noexcept { mergeOpen_ = false; }

    // Takes what differs from the last step into the shadow without recording it: for what
    // follows from an undo outside the record (the skin's images read again).
    void Settle(const Project& project);

    // The project as it stands was written to its file.
    void MarkSaved() noexcept;
    // The project as it stands is not in its file (a restored recovery copy).
    void MarkUnsaved() noexcept;
    // Whether the project differs from its file by a committed step.
    bool Modified() const noexcept;

    // Bytes held by the steps (the shadow of the record not counted).
    std::size_t MemoryUsed() const noexcept { return stepBytes_; }
    std::size_t StepCount() const noexcept { return steps_.size(); }
    // Counts every commit, undo, redo, reset and save mark, so that a watcher sees that the
    // modified state or the menu's step names may have changed.
    uint64_t Revision() const noexcept { return revision_; }

private:
    struct Step {
        std::string name;
        StepKind kind = StepKind::Named;
        uint64_t serial = 0;
        // The zoom the old and the new screen positions were laid out for.
        int32_t zoomBefore = 0;
        int32_t zoomAfter = 0;
        std::vector<uint32_t> runs; // offset, length pairs into the record
        std::vector<uint8_t> before;
        std::vector<uint8_t> after;
        std::size_t Bytes() const noexcept;
    };

    // The differences between the record and the shadow, as a step without a name.
    // `significant` tells whether any of them makes a step.
    Step Diff(const Project& project, bool& significant) const;
    std::string Describe(const Project& project, const Step& step, std::string_view verb) const;
    StepEffects Apply(Project& project, const Step& step, bool forward);
    static void CopyRuns(uint8_t* target, const Step& step, bool after);
    void Push(Step step);
    uint64_t TopSerial() const noexcept;

    std::size_t memoryLimit_;
    std::unique_ptr<uint8_t[]> shadow_;
    bool hasShadow_ = false;
    std::deque<Step> steps_;
    std::size_t position_ = 0; // steps_[0 .. position_) are done
    std::size_t stepBytes_ = 0;
    uint64_t nextSerial_ = 1;
    int32_t shadowZoom_ = 0;   // the zoom the shadow's screen positions are laid out for
    uint64_t baseSerial_ = 0;  // the state before steps_[0]
    uint64_t savedSerial_ = 0; // the state the file holds
    bool mergeOpen_ = false;   // the top step may still take a Merge commit
    uint64_t revision_ = 0;
};

} // namespace tw
