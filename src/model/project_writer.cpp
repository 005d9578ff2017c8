// Writing ".tw1" project files: the encoder and the save that never leaves a half-written
// file behind.
#include "model/instrument.h"
#include "model/project_file.h"

#include "model/lifecycle.h"
#include "model/text.h"
#include "platform/atomic_file.h"
#include "platform/byte_io.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

namespace tw {

namespace {

constexpr char kDashes[] = "--------------"; // 14 characters
constexpr int32_t kParameterReservedBytes = 128;

int32_t ClampCount(int32_t count, int32_t capacity) {
    return std::clamp(count, 0, capacity);
}

void WriteHeader(ByteWriter& w, const Project& p) {
    w.Raw("HED#");
    w.I32(kProjectFileVersion);
    w.I32(p.targetPlatform);
    w.I32(p.viewOriginX);
    w.I32(p.viewOriginY);
    w.U8(static_cast<uint8_t>(p.zoom & 0xFF));
    w.U8(static_cast<uint8_t>(p.cableStyle & 0xFF));
    w.Raw(kDashes);
    w.CountedText(kProductName);
    w.CountedText(GetText(p.pluginName));
    w.CountedText(GetText(p.author));
    w.CountedText(GetText(p.versionText));
    w.CountedText(GetText(p.uniqueId));
}

void WriteModules(ByteWriter& w, const Project& p) {
    w.Raw("MOD#");
    w.I32(p.CountOccupied());
    for (int32_t s = 0; s < kSlotCount; ++s) {
        const ModuleSlot& m = p.slots[s];
        if (m.type == kTypeEmpty) continue;
        w.I32(s);
        w.I32(m.type);
        w.I32(m.anchorX);
        w.I32(m.topY);
        w.CountedText(GetText(m.name));
        w.I32(0);
    }
}

void WriteCables(ByteWriter& w, const Project& p) {
    w.Raw("PLG#");
    int32_t count = 0;
    for (int32_t k = 0; k < kPortCount; ++k) count += p.outputs[k].link != kNone ? 1 : 0;
    w.I32(count);
    for (int32_t k = 0; k < kPortCount; ++k) {
        if (p.outputs[k].link == kNone) continue;
        w.I32(k);
        w.I32(p.outputs[k].link);
    }
}

void WriteParameters(ByteWriter& w, const Project& p) {
    w.Raw("PAR#");
    w.I32(p.CountModulesOfType(kTypeParameter));
    for (int32_t s = 0; s < kSlotCount; ++s) {
        const ModuleSlot& m = p.slots[s];
        if (m.type != kTypeParameter) continue;
        w.I32(s);
        w.I32(m.imageType);
        w.I32(m.spareValues[0]);
        w.I32(m.panelX);
        w.I32(m.panelY);
        w.I32(m.mouseResponse);
        w.F32(0.0f);
        w.I32(m.steps);
        w.I32(m.showLabel);
        w.U8(m.labelColour[0]);
        w.U8(m.labelColour[1]);
        w.U8(m.labelColour[2]);
        w.U8(0);
        w.CountedText(GetText(m.name));
        w.Zeros(kParameterReservedBytes);
    }
}

void WriteGuiSize(ByteWriter& w, const SavedLayout& layout) {
    w.Raw("GUI#");
    w.I32(2);
    w.I32(layout.guiWidth);
    w.I32(layout.guiHeight);
}

void WriteGraphics(ByteWriter& w, const Project& p) {
    w.Raw("GRA#");
    const int32_t polygons = ClampCount(p.polygonCount, kPolygonCount);
    w.I32(polygons);
    for (int32_t i = 0; i < polygons; ++i) {
        const PanelPolygon& g = p.polygons[i];
        for (int32_t v : {g.x1, g.y1, g.x2, g.y2, g.lineWidth, g.alpha, g.cornerRadius, g.red,
                          g.green, g.blue, static_cast<int32_t>(g.solid)}) {
            w.I32(v);
        }
        w.Zeros(5 * 4);
    }
    const int32_t texts = ClampCount(p.textCount, kTextCount);
    w.I32(texts);
    for (int32_t i = 0; i < texts; ++i) {
        const PanelText& t = p.texts[i];
        w.CountedText(GetText(t.text));
        for (int32_t v : {t.x, t.y, t.size, t.red, t.green, t.blue, t.alpha}) w.I32(v);
        w.Zeros(4 * 4);
    }
}

void WritePatches(ByteWriter& w, const Project& p) {
    w.Raw("PST#");
    w.I32(p.CountModulesOfType(kTypeParameter));
    for (int32_t patch = 0; patch < kPatchCount; ++patch) {
        w.CountedText(GetText(p.patchNames[patch]));
        for (int32_t s = 0; s < kSlotCount; ++s) {
            if (p.slots[s].type != kTypeParameter) continue;
            w.I32(s);
            w.I32(p.slots[s].patchValues[patch]);
        }
    }
}

void WriteWindows(ByteWriter& w, const SavedLayout& layout) {
    w.Raw("WIN#");
    w.I32(kEditorWindowCount);
    for (const WindowPlacement& win : layout.windows) {
        for (int32_t v : {win.visible, win.x, win.y, win.width, win.height}) w.I32(v);
    }
}

void WriteComments(ByteWriter& w, const Project& p) {
    w.Raw("COM#");
    const int32_t count = ClampCount(p.commentCount, kCommentCount);
    w.I32(count);
    for (int32_t i = 0; i < count; ++i) {
        const CommentRecord& c = p.comments[i];
        w.I32(c.showBackground);
        w.I32(c.showBorder);
        w.I32(c.x);
        w.I32(c.y);
        w.CountedText(GetText(c.text));
    }
}

// The controllers bound to panel controls, as (slot, controller) pairs in slot order. The
// chunk comes after all the others and only when there is a binding, so that a project
// without one saves exactly as before and older readers pass over it.
void WriteMidiBindings(ByteWriter& w, const Project& p) {
    int32_t count = 0;
    for (const ModuleSlot& m : p.slots)
        count += m.type == kTypeParameter && m.midiCc != kNone ? 1 : 0;
    if (count == 0) return;
    w.Raw("MCC#");
    w.I32(count);
    for (int32_t s = 0; s < kSlotCount; ++s) {
        const ModuleSlot& m = p.slots[s];
        if (m.type != kTypeParameter || m.midiCc == kNone) continue;
        w.I32(s);
        w.I32(m.midiCc);
    }
}

} // namespace

SavedLayout ReadSavedLayout(Platform& platform) {
    SavedLayout layout;
    for (int32_t i = 0; i < kEditorWindowCount; ++i) {
        const auto which = static_cast<EditorWindow>(i);
        const WindowRect r = platform.EditorWindowRect(which);
        layout.windows[i] = {platform.IsEditorWindowVisible(which) ? 1 : 0, r.x, r.y, r.width,
                             r.height};
    }
    const WindowRect gui = platform.GuiEditorRecordedSize();
    layout.guiWidth = gui.width;
    layout.guiHeight = gui.height;
    return layout;
}

std::vector<uint8_t> EncodeProject(const Project& project, const SavedLayout& layout) {
    ByteWriter w;
    WriteHeader(w, project);
    w.Raw("SKN#");
    w.CountedText(GetText(project.skinName));
    WriteModules(w, project);
    WriteCables(w, project);
    WriteParameters(w, project);
    WriteGuiSize(w, layout);
    WriteGraphics(w, project);
    WritePatches(w, project);
    WriteWindows(w, layout);
    WriteComments(w, project);
    WriteMidiBindings(w, project);
    WriteInstrumentChunk(w, InstrumentOf(project));
    const std::string bytes = w.Take();
    return {bytes.begin(), bytes.end()};
}

bool SaveProject(const Project& project, Platform& platform, std::string_view path) {
    const std::vector<uint8_t> bytes = EncodeProject(project, ReadSavedLayout(platform));
    const std::string_view data(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    // The message names the file and why it could not be written (a folder that is not
    // there, no permission, a full disk), so that the user knows what to change.
    int error = ENOENT;
    if (!path.empty()) {
        AtomicFile file(path);
        if (file.Write(data) && file.Commit()) return true;
        error = file.Error() != 0 ? file.Error() : EIO;
    }
    platform.ShowMessage(std::string(kSaveFailedText) + "\n" + std::string(path) + "\n\n" +
                             std::strerror(error),
                         kProductName, MessageButtons::Ok, MessageIcon::Error);
    return false;
}

} // namespace tw
