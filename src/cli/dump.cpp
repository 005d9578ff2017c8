// "dump": the loaded project as JSON.
#include "cli/cli.h"

#include "model/text.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <string>

namespace tw::cli {

namespace {

using Json = nlohmann::ordered_json;

template <std::size_t N> std::string Text(const char (&field)[N]) {
    return Latin1ToUtf8(GetText(field));
}

constexpr const char* kWindowNames[kEditorWindowCount] = {"Dsp Editor", "Gui Editor",
                                                          "Virtual Keyboard", "Midi Monitor"};

Json DumpModules(const Project& p) {
    Json modules = Json::array();
    for (int32_t s = 0; s < kSlotCount; ++s) {
        const ModuleSlot& m = p.slots[s];
        if (m.type == kTypeEmpty) continue;
        modules.push_back({{"slot", s},
                           {"type", m.type},
                           {"name", Text(m.name)},
                           {"anchorX", m.anchorX},
                           {"topY", m.topY},
                           {"gx", m.gx},
                           {"gy", m.gy}});
    }
    return modules;
}

Json DumpCables(const Project& p) {
    Json cables = Json::array();
    for (int32_t k = 0; k < kPortCount; ++k) {
        if (p.outputs[k].link != kNone)
            cables.push_back({{"input", k}, {"output", p.outputs[k].link}});
    }
    return cables;
}

Json DumpParameters(const Project& p) {
    Json parameters = Json::array();
    for (int32_t s = 0; s < kSlotCount; ++s) {
        const ModuleSlot& m = p.slots[s];
        if (m.type != kTypeParameter) continue;
        parameters.push_back(
            {{"slot", s},
             {"imageType", m.imageType},
             {"spare0", m.spareValues[0]},
             {"panelX", m.panelX},
             {"panelY", m.panelY},
             {"mouseResponse", m.mouseResponse},
             {"steps", m.steps},
             {"showLabel", m.showLabel},
             {"labelColour", {m.labelColour[0], m.labelColour[1], m.labelColour[2]}},
             {"name", Text(m.name)}});
    }
    return parameters;
}

// The controllers (on the project's channel) that move panel controls, one entry per bound
// Parameter.
Json DumpMidiBindings(const Project& p) {
    Json bindings = Json::array();
    for (int32_t s = 0; s < kSlotCount; ++s) {
        const ModuleSlot& m = p.slots[s];
        if (m.type != kTypeParameter || m.midiCc == kNone) continue;
        bindings.push_back({{"controller", m.midiCc}, {"slot", s}, {"parameter", Text(m.name)}});
    }
    return bindings;
}

Json DumpPatches(const Project& p) {
    Json patches = Json::array();
    for (int32_t patch = 0; patch < kPatchCount; ++patch) {
        Json values = Json::object();
        for (int32_t s = 0; s < kSlotCount; ++s) {
            if (p.slots[s].type == kTypeParameter)
                values[std::to_string(s)] = p.slots[s].patchValues[patch];
        }
        patches.push_back({{"name", Text(p.patchNames[patch])}, {"values", std::move(values)}});
    }
    return patches;
}

Json DumpPolygons(const Project& p) {
    Json polygons = Json::array();
    for (int32_t i = 0; i < p.polygonCount && i < kPolygonCount; ++i) {
        const PanelPolygon& g = p.polygons[i];
        polygons.push_back({{"x1", g.x1},
                            {"y1", g.y1},
                            {"x2", g.x2},
                            {"y2", g.y2},
                            {"width", g.lineWidth},
                            {"alpha", g.alpha},
                            {"corner", g.cornerRadius},
                            {"red", g.red},
                            {"green", g.green},
                            {"blue", g.blue},
                            {"solid", g.solid}});
    }
    return polygons;
}

Json DumpTexts(const Project& p) {
    Json texts = Json::array();
    for (int32_t i = 0; i < p.textCount && i < kTextCount; ++i) {
        const PanelText& t = p.texts[i];
        texts.push_back({{"text", Text(t.text)},
                         {"x", t.x},
                         {"y", t.y},
                         {"size", t.size},
                         {"red", t.red},
                         {"green", t.green},
                         {"blue", t.blue},
                         {"alpha", t.alpha}});
    }
    return texts;
}

Json DumpComments(const Project& p) {
    Json comments = Json::array();
    for (int32_t i = 0; i < p.commentCount && i < kCommentCount; ++i) {
        const CommentRecord& c = p.comments[i];
        comments.push_back({{"text", Text(c.text)},
                            {"x", c.x},
                            {"y", c.y},
                            {"showBackground", c.showBackground},
                            {"showBorder", c.showBorder}});
    }
    return comments;
}

Json DumpWindows(const Project& p) {
    Json windows = Json::array();
    for (int32_t i = 0; i < kEditorWindowCount; ++i) {
        const WindowPlacement& w = p.windows[i];
        windows.push_back({{"name", kWindowNames[i]},
                           {"visible", w.visible},
                           {"x", w.x},
                           {"y", w.y},
                           {"width", w.width},
                           {"height", w.height}});
    }
    return windows;
}

// The keys are printed in the order they are set here.
Json DumpProject(const Project& p) {
    Json j;
    j["fileVersion"] = p.fileVersion;
    j["targetPlatform"] = p.targetPlatform;
    j["viewOrigin"] = {p.viewOriginX, p.viewOriginY};
    j["zoom"] = p.zoom;
    j["cableStyle"] = p.cableStyle;
    j["pluginName"] = Text(p.pluginName);
    j["author"] = Text(p.author);
    j["versionText"] = Text(p.versionText);
    j["uniqueId"] = Text(p.uniqueId);
    j["skinName"] = Text(p.skinName);
    j["voices"] = static_cast<int32_t>(p.voiceCount);
    if (p.midiChannel == kAllChannels) {
        j["midiChannel"] = "all";
    } else {
        j["midiChannel"] = static_cast<int32_t>(p.midiChannel);
    }
    j["bendRange"] = static_cast<int32_t>(p.bendRange);
    j["modules"] = DumpModules(p);
    j["cables"] = DumpCables(p);
    j["parameters"] = DumpParameters(p);
    j["midiBindings"] = DumpMidiBindings(p);
    j["patches"] = DumpPatches(p);
    j["polygons"] = DumpPolygons(p);
    j["texts"] = DumpTexts(p);
    j["comments"] = DumpComments(p);
    j["windows"] = DumpWindows(p);
    return j;
}

constexpr const char* kUsageText = "tonewright-cli dump IN.tw1";

} // namespace

int CommandDump(int argc, char** argv, bool quiet) {
    if (WantsHelp(argc, argv)) {
        std::printf("usage: %s\n\nPrints the loaded project as JSON on standard output.\n",
                    kUsageText);
        return kOk;
    }
    if (argc != 1) {
        PrintError("expected 1 argument\nusage: %s", kUsageText);
        return kUsage;
    }
    Session s(quiet);
    if (!s.Open(argv[0])) return kFailed;
    const std::string text = DumpProject(*s.project).dump(2);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    return std::fflush(stdout) == 0 ? kOk : kFailed;
}

} // namespace tw::cli
