#include "interaction/clipboard_text.h"

#include "model/catalogue.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace tw {

namespace {

using Json = nlohmann::json;

// Clipboard text comes from anywhere: past these sizes it is not ours.
constexpr std::size_t kMaxTextBytes = std::size_t{32} << 20;
constexpr int32_t kMaxCoordinate = 1 << 20;
constexpr int32_t kMaxSteps = 1 << 24;

std::optional<int32_t> IntAt(const Json& object, const char* key, int32_t low, int32_t high,
                             std::optional<int32_t> fallback = std::nullopt) {
    const auto it = object.find(key);
    if (it == object.end()) return fallback;
    if (!it->is_number_integer()) return std::nullopt;
    const auto v = it->get<int64_t>();
    if (v < low || v > high) return std::nullopt;
    return static_cast<int32_t>(v);
}

template <std::size_t N>
bool IntsAt(const Json& object, const char* key, std::array<int32_t, N>& out, int32_t low,
            int32_t high) {
    const auto it = object.find(key);
    if (it == object.end()) return true; // absent: zeros
    if (!it->is_array() || it->size() != N) return false;
    for (std::size_t i = 0; i < N; ++i) {
        const Json& v = (*it)[i];
        if (!v.is_number_integer()) return false;
        const auto n = v.get<int64_t>();
        if (n < low || n > high) return false;
        out[i] = static_cast<int32_t>(n);
    }
    return true;
}

std::optional<std::string> TextAt(const Json& object, const char* key, std::size_t limit) {
    const auto it = object.find(key);
    if (it == object.end()) return std::string();
    if (!it->is_string()) return std::nullopt;
    std::string s = it->get<std::string>();
    if (s.size() > limit) s.resize(limit);
    return s;
}

std::optional<ClipModule> ModuleFrom(const Json& j) {
    if (!j.is_object()) return std::nullopt;
    ClipModule m;
    const auto type = IntAt(j, "type", 1, kMaxModuleType);
    if (!type || FindModuleType(*type) == nullptr) return std::nullopt;
    m.type = *type;
    const auto x = IntAt(j, "x", -kMaxCoordinate, kMaxCoordinate);
    const auto y = IntAt(j, "y", -kMaxCoordinate, kMaxCoordinate);
    const auto name = TextAt(j, "name", kNameSize - 1);
    const auto image = IntAt(j, "imageType", 0, kSkinImageCount - 1, 0);
    const auto response = IntAt(j, "mouseResponse", 0, 16, 0);
    const auto onBackground = IntAt(j, "renderOnBackground", 0, 1, 1);
    const auto direction = IntAt(j, "stepDirection", -1, 1, 1);
    const auto label = IntAt(j, "showLabel", 0, 1, 1);
    const auto steps = IntAt(j, "steps", 0, kMaxSteps, 100);
    const auto panelX = IntAt(j, "panelX", -kOffCanvas, kOffCanvas, kOffCanvas);
    const auto panelY = IntAt(j, "panelY", -kOffCanvas, kOffCanvas, kOffCanvas);
    if (!x || !y || !name || !image || !response || !onBackground || !direction || !label ||
        !steps || !panelX || !panelY)
        return std::nullopt;
    m.x = *x;
    m.y = *y;
    m.name = *name;
    m.imageType = *image;
    m.mouseResponse = *response;
    m.renderOnBackground = *onBackground;
    m.stepDirection = *direction;
    m.showLabel = *label;
    m.steps = *steps;
    m.panelX = *panelX;
    m.panelY = *panelY;
    if (!IntsAt(j, "labelColour", m.labelColour, 0, 255) ||
        !IntsAt(j, "patchValues", m.patchValues, 0, kMaxSteps) ||
        !IntsAt(j, "spareValues", m.spareValues, -kMaxSteps, kMaxSteps))
        return std::nullopt;
    return m;
}

std::optional<ClipComment> CommentFrom(const Json& j) {
    if (!j.is_object()) return std::nullopt;
    const auto x = IntAt(j, "x", -kMaxCoordinate, kMaxCoordinate);
    const auto y = IntAt(j, "y", -kMaxCoordinate, kMaxCoordinate);
    const auto text = TextAt(j, "text", kCommentTextSize - 1);
    const auto background = IntAt(j, "showBackground", 0, 1, 1);
    const auto border = IntAt(j, "showBorder", 0, 1, 1);
    if (!x || !y || !text || !background || !border) return std::nullopt;
    return ClipComment{*x, *y, *text, *background, *border};
}

} // namespace

std::string ClippingToText(const Clipping& clip) {
    Json modules = Json::array();
    for (const ClipModule& m : clip.modules) {
        modules.push_back({{"type", m.type},
                           {"x", m.x},
                           {"y", m.y},
                           {"name", m.name},
                           {"imageType", m.imageType},
                           {"mouseResponse", m.mouseResponse},
                           {"renderOnBackground", m.renderOnBackground},
                           {"stepDirection", m.stepDirection},
                           {"showLabel", m.showLabel},
                           {"steps", m.steps},
                           {"panelX", m.panelX},
                           {"panelY", m.panelY},
                           {"labelColour", m.labelColour},
                           {"patchValues", m.patchValues},
                           {"spareValues", m.spareValues}});
    }
    Json comments = Json::array();
    for (const ClipComment& c : clip.comments) {
        comments.push_back({{"x", c.x},
                            {"y", c.y},
                            {"text", c.text},
                            {"showBackground", c.showBackground},
                            {"showBorder", c.showBorder}});
    }
    Json cables = Json::array();
    for (const ClipCable& c : clip.cables) {
        cables.push_back(
            {{"from", c.fromModule}, {"output", c.output}, {"to", c.toModule}, {"input", c.input}});
    }
    const Json document = {{"tonewright-clipboard", kClipboardVersion},
                           {"modules", modules},
                           {"comments", comments},
                           {"cables", cables}};
    // Names typed elsewhere may hold bytes that are not UTF-8: they are replaced rather
    // than making the whole copy fail.
    return document.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::optional<Clipping> ClippingFromText(std::string_view text) {
    if (text.size() > kMaxTextBytes) return std::nullopt;
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos || text[first] != '{') return std::nullopt;
    const Json j = Json::parse(text, nullptr, false);
    if (j.is_discarded() || !j.is_object()) return std::nullopt;
    const auto version = IntAt(j, "tonewright-clipboard", 1, kClipboardVersion);
    if (!version) return std::nullopt;
    Clipping clip;
    auto arrayAt = [&](const char* key) -> const Json* {
        const auto it = j.find(key);
        if (it == j.end()) return nullptr;
        return it->is_array() ? &*it : nullptr;
    };
    const Json* modules = arrayAt("modules");
    const Json* comments = arrayAt("comments");
    const Json* cables = arrayAt("cables");
    if (modules == nullptr || modules->size() > static_cast<std::size_t>(kSlotCount))
        return std::nullopt;
    for (const Json& m : *modules) {
        std::optional<ClipModule> module = ModuleFrom(m);
        if (!module) return std::nullopt;
        clip.modules.push_back(std::move(*module));
    }
    if (comments != nullptr) {
        if (comments->size() > static_cast<std::size_t>(kCommentCount)) return std::nullopt;
        for (const Json& c : *comments) {
            std::optional<ClipComment> comment = CommentFrom(c);
            if (!comment) return std::nullopt;
            clip.comments.push_back(std::move(*comment));
        }
    }
    if (cables != nullptr) {
        const auto count = static_cast<int32_t>(clip.modules.size());
        if (cables->size() > static_cast<std::size_t>(kPortCount)) return std::nullopt;
        for (const Json& c : *cables) {
            if (!c.is_object()) return std::nullopt;
            const auto from = IntAt(c, "from", 0, count - 1);
            const auto output = IntAt(c, "output", 0, kPortsPerSlot - 1);
            const auto to = IntAt(c, "to", 0, count - 1);
            const auto input = IntAt(c, "input", 0, kPortsPerSlot - 1);
            if (!from || !output || !to || !input) return std::nullopt;
            clip.cables.push_back({*from, *output, *to, *input});
        }
    }
    if (clip.Empty()) return std::nullopt;
    return clip;
}

} // namespace tw
