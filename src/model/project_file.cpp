// Reading ".tw1" project files: the header, the byte-at-a-time tag scan and the chunk
// readers, which take nothing in the file on trust.
#include "model/project_file.h"
#include "model/instrument.h"

#include "model/engine_control.h"
#include "model/lifecycle.h"
#include "model/text.h"
#include "platform/atomic_file.h"
#include "platform/byte_io.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

namespace tw {

namespace {

constexpr int32_t kParameterReservedBytes = 128;

// Positions far outside any canvas or panel are pulled in so that the geometry code,
// which adds sizes and offsets to them, stays inside the range of an int.
constexpr int32_t kCoordinateLimit = 1 << 24;

int32_t ClampCoordinate(int32_t v) {
    return std::clamp(v, -kCoordinateLimit, kCoordinateLimit);
}

// A counted string. The field gets at most its size less one bytes (the rest is passed
// over) and always a terminator. A negative length reads as damage (false, nothing
// consumed but the count); a length past the end keeps what is there.
bool ReadStringInto(ByteReader& c, char* field, std::size_t size) {
    int32_t n = 0;
    if (!c.I32(n) || n < 0) return false;
    const std::size_t length = static_cast<std::size_t>(n);
    std::span<const uint8_t> bytes;
    c.Bytes(std::min(length, c.Remaining()), bytes);
    if (field != nullptr) {
        const std::size_t kept = std::min(bytes.size(), size - 1);
        if (kept > 0) std::memcpy(field, bytes.data(), kept);
        field[kept] = '\0';
        // An embedded NUL ends the text as it would on screen.
    }
    return bytes.size() == length;
}

template <std::size_t N> bool ReadString(ByteReader& c, char (&field)[N]) {
    return ReadStringInto(c, field, N);
}

bool SkipString(ByteReader& c) {
    return ReadStringInto(c, nullptr, 0);
}

void ReadModules(ByteReader& c, Project& p) {
    int32_t count = 0;
    if (!c.I32(count)) return;
    for (int32_t i = 0; i < count; ++i) {
        int32_t slot = 0, type = 0, x = 0, y = 0;
        if (!c.I32(slot) || !c.I32(type) || !c.I32(x) || !c.I32(y)) return;
        const bool valid = IsSlot(slot) && type >= 1 && type <= kMaxModuleType;
        if (valid) {
            ModuleSlot& m = p.slots[slot];
            m.type = type;
            p.PlaceModule(slot, ClampCoordinate(x), ClampCoordinate(y));
            m.name[0] = '\0';
            if (!ReadString(c, m.name)) return;
        } else if (!SkipString(c)) {
            return;
        }
        if (!c.Skip(4)) return;
    }
}

void ReadCables(ByteReader& c, Project& p) {
    int32_t count = 0;
    if (!c.I32(count)) return;
    for (int32_t i = 0; i < count; ++i) {
        int32_t k = 0, o = 0;
        if (!c.I32(k) || !c.I32(o)) return;
        p.LinkCable(k, o);
    }
}

void ReadParameters(ByteReader& c, Project& p) {
    int32_t count = 0;
    if (!c.I32(count)) return;
    for (int32_t i = 0; i < count; ++i) {
        int32_t slot = 0, imageType = 0, spare = 0, panelX = 0, panelY = 0, response = 0;
        int32_t steps = 0, showLabel = 0;
        uint8_t rgb[3] = {};
        if (!c.I32(slot) || !c.I32(imageType) || !c.I32(spare) || !c.I32(panelX) ||
            !c.I32(panelY) || !c.I32(response) || !c.Skip(4) || !c.I32(steps) ||
            !c.I32(showLabel) || !c.U8(rgb[0]) || !c.U8(rgb[1]) || !c.U8(rgb[2]) || !c.Skip(1)) {
            return;
        }
        if (!IsSlot(slot)) {
            if (!SkipString(c) || !c.Skip(kParameterReservedBytes)) return;
            continue;
        }
        ModuleSlot& m = p.slots[slot];
        // Both pick entries of fixed lists; anything else falls back to the first entry.
        m.imageType = imageType >= 0 && imageType < kSkinImageCount ? imageType : 0;
        m.mouseResponse = response >= 0 && response <= 6 ? response : 0;
        m.spareValues[0] = spare;
        m.panelX = ClampCoordinate(panelX);
        m.panelY = ClampCoordinate(panelY);
        m.steps = steps;
        m.showLabel = static_cast<uint8_t>(showLabel & 0xFF);
        std::memcpy(m.labelColour, rgb, sizeof rgb);
        if (!ReadString(c, m.name) || !c.Skip(kParameterReservedBytes)) return;
    }
}

// "PST#" fills the patch values, the older "PRG#" the spare values; both name the patches.
void ReadPatchTable(ByteReader& c, Project& p, bool spare) {
    int32_t n = 0;
    if (!c.I32(n) || n < 0) return;
    for (int32_t patch = 0; patch < kPatchCount; ++patch) {
        if (!ReadString(c, p.patchNames[patch])) return;
        for (int32_t i = 0; i < n; ++i) {
            int32_t slot = 0, value = 0;
            if (!c.I32(slot) || !c.I32(value)) return;
            if (!IsSlot(slot)) continue;
            (spare ? p.slots[slot].spareValues : p.slots[slot].patchValues)[patch] = value;
        }
    }
}

void ReadGraphics(ByteReader& c, Project& p) {
    int32_t count = 0;
    if (!c.I32(count) || count < 0) return;
    for (int32_t i = 0; i < count; ++i) {
        int32_t v[11];
        for (int32_t& x : v) {
            if (!c.I32(x)) return;
        }
        if (!c.Skip(5 * 4)) return;
        if (i >= kPolygonCount) continue;
        PanelPolygon& g = p.polygons[i];
        g.x1 = ClampCoordinate(v[0]);
        g.y1 = ClampCoordinate(v[1]);
        g.x2 = ClampCoordinate(v[2]);
        g.y2 = ClampCoordinate(v[3]);
        g.lineWidth = std::clamp(v[4], 0, 10);
        g.alpha = std::clamp(v[5], 0, 255);
        g.cornerRadius = std::clamp(v[6], 0, 100);
        g.red = std::clamp(v[7], 0, 255);
        g.green = std::clamp(v[8], 0, 255);
        g.blue = std::clamp(v[9], 0, 255);
        g.solid = static_cast<uint8_t>(v[10] & 0xFF);
        p.polygonCount = i + 1;
    }
    if (!c.I32(count) || count < 0) return;
    for (int32_t i = 0; i < count; ++i) {
        char text[kPanelTextSize];
        if (!ReadString(c, text)) return;
        int32_t v[7];
        for (int32_t& x : v) {
            if (!c.I32(x)) return;
        }
        if (!c.Skip(4 * 4)) return;
        if (i >= kTextCount) continue;
        PanelText& t = p.texts[i];
        SetText(t.text, GetText(text));
        t.x = ClampCoordinate(v[0]);
        t.y = ClampCoordinate(v[1]);
        t.size = std::clamp(v[2], 4, 64);
        t.red = std::clamp(v[3], 0, 255);
        t.green = std::clamp(v[4], 0, 255);
        t.blue = std::clamp(v[5], 0, 255);
        t.alpha = std::clamp(v[6], 0, 255);
        p.textCount = i + 1;
    }
}

void ReadWindows(ByteReader& c, Project& p, Platform& platform) {
    if (!c.Skip(4)) return; // the count is not a count: there are always four
    for (int32_t i = 0; i < kEditorWindowCount; ++i) {
        int32_t v[5];
        for (int32_t& x : v) {
            if (!c.I32(x)) return;
        }
        WindowPlacement& win = p.windows[i];
        win = {v[0], ClampCoordinate(v[1]), ClampCoordinate(v[2]),
               std::clamp(v[3], 0, kCoordinateLimit), std::clamp(v[4], 0, kCoordinateLimit)};
        const auto which = static_cast<EditorWindow>(i);
        WindowRect rect{win.x, win.y, win.width, win.height};
        // The keyboard and the monitor cannot be resized, whatever the file says.
        if (which == EditorWindow::VirtualKeyboard)
            rect = {win.x, win.y, kKeyboardWidth, kKeyboardHeight};
        if (which == EditorWindow::MidiMonitor)
            rect = {win.x, win.y, kMonitorWidth, kMonitorHeight};
        platform.MoveEditorWindow(which, rect);
        platform.ShowEditorWindow(which, win.visible == 1);
    }
}

void ReadComments(ByteReader& c, Project& p) {
    int32_t count = 0;
    if (!c.I32(count) || count < 0) return;
    for (int32_t i = 0; i < count; ++i) {
        int32_t background = 0, border = 0, x = 0, y = 0;
        if (!c.I32(background) || !c.I32(border) || !c.I32(x) || !c.I32(y)) return;
        if (i >= kCommentCount) {
            if (!SkipString(c)) return;
            continue;
        }
        CommentRecord& r = p.comments[i];
        r.showBackground = static_cast<uint8_t>(background & 0xFF);
        r.showBorder = static_cast<uint8_t>(border & 0xFF);
        r.x = ClampCoordinate(x);
        r.y = ClampCoordinate(y);
        r.selected = 0;
        r.clicked = 0;
        r.text[0] = '\0';
        p.commentCount = i + 1;
        if (!ReadString(c, r.text)) return;
    }
}

// Bindings of controllers to panel controls; the modules are read by now, so a pair that
// names no Parameter or no controller is passed over.
void ReadMidiBindings(ByteReader& c, Project& p) {
    int32_t count = 0;
    if (!c.I32(count) || count < 0) return;
    for (int32_t i = 0; i < count; ++i) {
        int32_t slot = 0, cc = 0;
        if (!c.I32(slot) || !c.I32(cc)) return;
        p.BindMidiCc(slot, cc);
    }
}

void ReadHeader(ByteReader& c, Project& p, Platform& platform) {
    int32_t version = 0, target = 0, ox = 0, oy = 0;
    uint8_t zoom = 0, style = 0;
    if (!c.Skip(4) || !c.I32(version)) return;
    p.fileVersion = version;
    if (!c.I32(target)) return;
    p.targetPlatform = target;
    if (!c.I32(ox) || !c.I32(oy)) return;
    p.viewOriginX = ClampCoordinate(ox);
    p.viewOriginY = ClampCoordinate(oy);
    if (!c.U8(zoom)) return;
    // The zoom picks an entry of the toolbar's list and scales every position: a value
    // the program cannot set falls back to the default.
    p.zoom = zoom >= 1 && zoom <= 10 ? zoom : kDefaultZoom;
    p.previousZoom = p.zoom;
    platform.SelectZoom(p.zoom);
    if (!c.U8(style)) return;
    p.cableStyle = style <= 2 ? style : 0;
    if (!c.Skip(14) || !SkipString(c)) return;
    if (!ReadString(c, p.pluginName) || !ReadString(c, p.author) || !ReadString(c, p.versionText))
        return;
    ReadString(c, p.uniqueId);
}

constexpr bool TagIs(const uint8_t (&window)[4], const char* tag) {
    return window[0] == static_cast<uint8_t>(tag[0]) && window[1] == static_cast<uint8_t>(tag[1]) &&
           window[2] == static_cast<uint8_t>(tag[2]) && window[3] == static_cast<uint8_t>(tag[3]);
}

void ScanChunks(ByteReader& c, Project& p, Platform& platform) {
    uint8_t window[4] = {0, 0, 0, 0};
    while (!c.AtEnd()) {
        window[0] = window[1];
        window[1] = window[2];
        window[2] = window[3];
        c.U8(window[3]);
        if (window[3] != '#') continue;
        bool parsed = true;
        if (TagIs(window, "SKN#")) {
            ReadString(c, p.skinName);
        } else if (TagIs(window, "MOD#")) {
            ReadModules(c, p);
        } else if (TagIs(window, "PLG#")) {
            ReadCables(c, p);
        } else if (TagIs(window, "PAR#")) {
            ReadParameters(c, p);
        } else if (TagIs(window, "PRG#")) {
            ReadPatchTable(c, p, true);
        } else if (TagIs(window, "GRA#")) {
            ReadGraphics(c, p);
        } else if (TagIs(window, "PST#")) {
            ReadPatchTable(c, p, false);
        } else if (TagIs(window, "WIN#")) {
            ReadWindows(c, p, platform);
        } else if (TagIs(window, "COM#")) {
            ReadComments(c, p);
        } else if (TagIs(window, "MCC#")) {
            ReadMidiBindings(c, p);
        } else if (TagIs(window, kInstrumentTag)) {
            InstrumentSettings settings;
            ReadInstrumentChunk(c, settings);
            ApplyInstrument(p, settings);
        } else {
            parsed = false;
        }
        // A chunk's own bytes never combine with what follows into a tag.
        if (parsed) std::memset(window, 0, sizeof window);
    }
}

void ShowError(Platform& platform, std::string_view text) {
    platform.ShowMessage(text, kProductName, MessageButtons::Ok, MessageIcon::Error);
}

} // namespace

LoadResult OpenProject(Project& project, EngineControl& engine, Platform& platform,
                       std::string_view path) {
    const std::optional<std::string> read =
        ReadWholeFile(std::string(path), kMaxProjectFileBytes + 1);
    if (!read) {
        ShowError(platform, std::string("Unable To Open Project\n").append(path));
        project.propertiesTarget = kTargetNone;
        platform.RefreshProperties();
        // At start-up the project is empty and needs its defaults; a project with work in
        // it is kept rather than thrown away for a file that could not be read.
        if (project.CountOccupied() == 0) {
            ApplyNewProjectDefaults(project, platform);
            // What is open now is a new project, not the file that could not be read.
            SetText(project.projectPath, "");
        }
        return LoadResult::CannotOpen;
    }
    if (read->size() > kMaxProjectFileBytes) {
        ShowError(platform, "This file is too large to be a Tonewright project\nLoad aborted");
        return LoadResult::NotAProject;
    }
    const std::vector<uint8_t> bytes(read->begin(), read->end());
    return OpenProjectBytes(project, engine, platform, bytes, path);
}

LoadResult OpenProjectBytes(Project& project, EngineControl& engine, Platform& platform,
                            std::span<const uint8_t> bytes, std::string_view path) {
    // The header tag and the version decide whether the project may be replaced at all:
    // a file that is no project (a picture, a sound, random bytes) leaves everything as it
    // was and is never remembered as the last project.
    ByteReader probe(bytes);
    int32_t version = 0;
    const bool tagged = bytes.size() >= 4 && std::memcmp(bytes.data(), "HED#", 4) == 0;
    if (!tagged || !probe.Skip(4) || !probe.I32(version) || version < 0) {
        ShowError(platform, "This file is not a Tonewright project\nLoad aborted");
        return LoadResult::NotAProject;
    }
    project.fileVersion = version;
    if (version > kProjectFileVersion) {
        ShowError(platform, "Project made with a newer version of Tonewright\nLoad aborted");
        return LoadResult::NewerVersion;
    }

    FullReset(project, engine);
    ApplyNewProjectDefaults(project, platform);

    ByteReader c(bytes);
    ReadHeader(c, project, platform);
    ScanChunks(c, project, platform);

    LoadSkinImages(project, platform);
    project.currentPatch = 0;
    project.CapturePositions();
    project.Relayout();
    project.RebuildActiveList();
    project.RebuildRoutes();
    project.RelayoutPatchbays();
    project.RecomputeParameterValues();
    project.CountModules();

    platform.SetMainTitle(WindowTitle(path));
    platform.RebuildMenus();
    platform.ShowPatchName(GetText(project.patchNames[0]));
    SetText(project.projectPath, path);
    return LoadResult::Loaded;
}

} // namespace tw
