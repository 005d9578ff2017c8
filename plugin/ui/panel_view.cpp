#include "plugin/ui/panel_view.h"

#include "model/text.h"
#include "plugin/lv2_contract.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace tw::ui {

namespace {

constexpr uint32_t kPanelGrey = 0xFFF0F0F0u;
constexpr uint32_t kPlaceholderFill = 0xFFC8C8C8u;
constexpr uint32_t kPlaceholderEdge = 0xFF707070u;
// A panel larger than this on either side is not one a build writes; the window is kept
// within twice that, whatever the scale, so that a damaged manifest cannot ask for more
// memory than a large screen's worth.
constexpr int32_t kLargestPanel = 4096;
constexpr double kLargestWindow = 2.0 * kLargestPanel;
// Side of a placeholder whose design gives no control size.
constexpr int32_t kPlaceholderSide = 32;
// After the window or the host sets a control, the plugin's output may still show earlier
// values for a few cycles; those are not moves of the plugin's own.
constexpr int64_t kEchoMs = 400;

int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int32_t NearestStep(float value, int32_t steps, int32_t otherwise) {
    if (!std::isfinite(value)) return otherwise;
    return static_cast<int32_t>(
        std::floor(std::clamp<double>(value, 0.0, std::max(steps, 0)) + 0.5));
}

bool Overlap(const ModuleSlot& a, const ModuleSlot& b) {
    return a.panelX < b.panelX + b.controlSize && b.panelX < a.panelX + a.controlSize &&
           a.panelY < b.panelY + b.controlSize && b.panelY < a.panelY + a.controlSize;
}

uint32_t Mix(uint32_t a, uint32_t b, uint32_t c, uint32_t d, double tx, double ty) {
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const double top = ((a >> shift) & 0xFF) * (1 - tx) + ((b >> shift) & 0xFF) * tx;
        const double bottom = ((c >> shift) & 0xFF) * (1 - tx) + ((d >> shift) & 0xFF) * tx;
        out |= static_cast<uint32_t>(std::lround(top * (1 - ty) + bottom * ty)) << shift;
    }
    return out;
}

} // namespace

PanelView::PanelView(const PanelFiles& files, double scale)
    : project_(std::make_unique<Project>()),
      showsControls_(files.description.backgroundShowsControls) {
    scale_ = std::isfinite(scale) && scale >= 0.25 && scale <= 8.0 ? scale : 1.0;
    Project& p = *project_;
    // The plugin's panel plays only, as the Gui Editor's does with Lock Edit on.
    p.lockEdit = 1;
    p.guiEditMode = 0;
    p.currentPatch = 0;
    for (int32_t i = 0; i < kSkinImageCount; ++i) {
        const BitmapHandle& image = files.images[i];
        if (!image || image->width <= 0 || image->height < image->width) continue;
        p.skinImages[i] = {image, image->width, image->height, image->height / image->width, {}};
    }
    const plugin::ManifestDesign& design = files.design;
    for (const plugin::ManifestParameter& param : design.parameters) {
        Control c;
        c.slot = IsSlot(param.slot) ? param.slot : kNone;
        c.steps = std::max(param.steps, 0);
        c.hostStep = param.startValue;
        controls_.push_back(c);
        if (c.slot == kNone) continue;
        ModuleSlot& s = p.slots[c.slot];
        s.type = kTypeParameter;
        SetText(s.name, param.name);
        s.imageType = param.imageType;
        s.panelX = param.panelX;
        s.panelY = param.panelY;
        s.mouseResponse = param.mouseResponse;
        s.showLabel = param.showLabel != 0 ? 1 : 0;
        s.steps = param.steps;
        s.patchValues[0] = param.startValue;
        const bool known = s.imageType >= 0 && s.imageType < kSkinImageCount &&
                           p.skinImages[s.imageType].bitmap != nullptr;
        s.controlSize =
            known ? p.skinImages[s.imageType].width
                  : (param.controlSize > 0 ? std::min(param.controlSize, 1024) : kPlaceholderSide);
        p.RecomputeParameterValue(c.slot);
    }

    int32_t width = design.panelWidth, height = design.panelHeight;
    if (width <= 0 || height <= 0 || width > kLargestPanel || height > kLargestPanel) {
        width = files.background ? std::min(files.background->width, kLargestPanel) : 384;
        height = files.background ? std::min(files.background->height, kLargestPanel) : 261;
    }
    session_.width = width;
    session_.height = height;
    base_.width = width;
    base_.height = height;
    base_.pixels.assign(static_cast<std::size_t>(width) * height, kPanelGrey);
    if (files.background) {
        const Bitmap& bg = *files.background;
        for (int32_t y = 0; y < std::min(height, bg.height); ++y) {
            const int32_t n = std::min(width, bg.width);
            std::copy_n(bg.pixels.begin() + static_cast<std::ptrdiff_t>(y) * bg.width, n,
                        base_.pixels.begin() + static_cast<std::ptrdiff_t>(y) * width);
        }
    }
    scale_ = std::min(scale_, kLargestWindow / std::max(width, height));
    windowWidth_ = std::max(1, static_cast<int32_t>(std::lround(width * scale_)));
    windowHeight_ = std::max(1, static_cast<int32_t>(std::lround(height * scale_)));
    window_.assign(static_cast<std::size_t>(windowWidth_) * windowHeight_, kPanelGrey);
}

std::vector<PanelView::Label> PanelView::Labels() const {
    std::vector<Label> labels;
    for (const Control& c : controls_) {
        if (c.slot == kNone) continue;
        const ModuleSlot& s = project_->slots[c.slot];
        if (s.showLabel == 0) continue;
        labels.push_back({std::string(GetText(s.name)),
                          static_cast<int32_t>(s.panelX + 0.5 * s.controlSize),
                          s.panelY + s.controlSize});
    }
    return labels;
}

int32_t PanelView::StepOf(int32_t control) const noexcept {
    if (control < 0 || control >= ControlCount() || controls_[control].slot == kNone) return 0;
    return project_->slots[controls_[control].slot].patchValues[0];
}

void PanelView::Invalidate() noexcept {
    panel_.clear();
}

// The frame a control shows: its value's, the last one for a value beyond the strip, as the
// editor draws it; a placeholder has one look only.
static int32_t ShownFrame(const Project& p, int32_t slot) {
    const ModuleSlot& s = p.slots[slot];
    if (s.imageType < 0 || s.imageType >= kSkinImageCount) return 0;
    const SkinImage& image = p.skinImages[s.imageType];
    if (!image.bitmap || s.controlSize <= 0) return 0;
    const int32_t frames = image.bitmap->height / s.controlSize;
    return frames > 0 ? std::clamp(s.patchValues[0], 0, frames - 1) : 0;
}

void PanelView::ComposeControl(const Control& c) {
    const ModuleSlot& s = project_->slots[c.slot];
    const int32_t size = s.controlSize;
    const SkinImage* image = s.imageType >= 0 && s.imageType < kSkinImageCount
                                 ? &project_->skinImages[s.imageType]
                                 : nullptr;
    const bool drawable =
        image != nullptr && image->bitmap && size > 0 && image->bitmap->height / size > 0;
    const int32_t frame = ShownFrame(*project_, c.slot);
    for (int32_t y = 0; y < size; ++y) {
        const int32_t py = s.panelY + y;
        if (py < 0 || py >= base_.height) continue;
        for (int32_t x = 0; x < size; ++x) {
            const int32_t px = s.panelX + x;
            if (px < 0 || px >= base_.width) continue;
            uint32_t colour = kPlaceholderFill;
            if (drawable) {
                colour = image->bitmap->At(x, frame * size + y);
            } else if (x == 0 || y == 0 || x == size - 1 || y == size - 1) {
                colour = kPlaceholderEdge;
            }
            panel_[static_cast<std::size_t>(py) * base_.width + px] = colour;
        }
    }
}

Rect PanelView::ScaleRect(int32_t x, int32_t y, int32_t width, int32_t height) {
    const double s = scale_;
    const bool whole = s == std::floor(s);
    // An interpolated pixel also reads its neighbours: one more panel pixel on each side.
    const int32_t reach = whole ? 0 : 1;
    const auto lo = [&](int32_t v, int32_t limit) {
        return std::clamp(static_cast<int32_t>(std::floor((v - reach) * s)), 0, limit);
    };
    const auto hi = [&](int32_t v, int32_t limit) {
        return std::clamp(static_cast<int32_t>(std::ceil((v + reach) * s)), 0, limit);
    };
    const Rect r{lo(x, windowWidth_), lo(y, windowHeight_), 0, 0};
    const int32_t x1 = hi(x + width, windowWidth_), y1 = hi(y + height, windowHeight_);
    const int32_t w = base_.width, h = base_.height;
    for (int32_t wy = r.y; wy < y1; ++wy) {
        uint32_t* row = &window_[static_cast<std::size_t>(wy) * windowWidth_];
        if (whole) {
            // Whole-number scales repeat each pixel, so the bitmaps stay crisp.
            const auto k = static_cast<int32_t>(s);
            const uint32_t* src = &panel_[static_cast<std::size_t>(std::min(wy / k, h - 1)) * w];
            for (int32_t wx = r.x; wx < x1; ++wx)
                row[wx] = src[std::min(wx / k, w - 1)] | 0xFF000000u;
            continue;
        }
        const double fy = std::clamp((wy + 0.5) / s - 0.5, 0.0, h - 1.0);
        const auto y0 = static_cast<int32_t>(fy);
        const int32_t yb = std::min(y0 + 1, h - 1);
        for (int32_t wx = r.x; wx < x1; ++wx) {
            const double fx = std::clamp((wx + 0.5) / s - 0.5, 0.0, w - 1.0);
            const auto x0 = static_cast<int32_t>(fx);
            const int32_t xb = std::min(x0 + 1, w - 1);
            const auto at = [&](int32_t px, int32_t py) {
                return panel_[static_cast<std::size_t>(py) * w + px];
            };
            row[wx] =
                0xFF000000u | Mix(at(x0, y0), at(xb, y0), at(x0, yb), at(xb, yb), fx - x0, fy - y0);
        }
    }
    return {r.x, r.y, x1 - r.x, y1 - r.y};
}

std::vector<Rect> PanelView::Update() {
    std::vector<Rect> changed;
    if (panel_.empty()) {
        panel_ = base_.pixels;
        for (Control& c : controls_) {
            if (c.slot == kNone) continue;
            ComposeControl(c);
            c.shown = ShownFrame(*project_, c.slot);
        }
        changed.push_back(ScaleRect(0, 0, base_.width, base_.height));
        return changed;
    }
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        Control& c = controls_[i];
        if (c.slot == kNone) continue;
        const int32_t frame = ShownFrame(*project_, c.slot);
        if (frame == c.shown) continue;
        c.shown = frame;
        ComposeControl(c);
        const ModuleSlot& s = project_->slots[c.slot];
        changed.push_back(ScaleRect(s.panelX, s.panelY, s.controlSize, s.controlSize));
        // A control later in slot order lies over this one on the editor's panel too.
        for (std::size_t j = i + 1; j < controls_.size(); ++j) {
            const Control& d = controls_[j];
            if (d.slot == kNone || !Overlap(s, project_->slots[d.slot])) continue;
            ComposeControl(d);
            const ModuleSlot& t = project_->slots[d.slot];
            changed.push_back(ScaleRect(t.panelX, t.panelY, t.controlSize, t.controlSize));
        }
    }
    return changed;
}

void PanelView::PortEvent(uint32_t port, float value, int64_t nowMs) {
    const std::size_t count = controls_.size();
    const std::size_t i = port - lv2::kFirstParameterPort;
    const bool input = i < count;
    if (port < lv2::kFirstParameterPort || (!input && i - count >= count)) return;
    Control& c = controls_[input ? i : i - count];
    if (c.slot == kNone) return;
    int32_t& shown = project_->slots[c.slot].patchValues[0];
    const int32_t step = NearestStep(value, c.steps, shown);
    if (input) {
        c.hostStep = step;
        c.echoUntil = nowMs + kEchoMs;
    } else if (step == c.hostStep) {
        c.echoUntil = 0; // the plugin plays what the host holds
    } else if (nowMs < c.echoUntil) {
        return; // the plugin has not yet played the host's latest value
    } else {
        // The plugin moved the control itself (a learnt MIDI controller): the host's
        // control follows, so that it and the sound agree and later host values act.
        c.hostStep = step;
        messages_.push_back(
            {HostMessage::kWrite,
             lv2::kFirstParameterPort + static_cast<uint32_t>(&c - controls_.data()),
             static_cast<float>(step)});
    }
    shown = step;
    project_->RecomputeParameterValue(c.slot);
}

int32_t PanelView::PanelX(int32_t x) const noexcept {
    return static_cast<int32_t>(std::floor(x / scale_));
}
int32_t PanelView::PanelY(int32_t y) const noexcept {
    return static_cast<int32_t>(std::floor(y / scale_));
}

int32_t PanelView::ControlAt(int32_t x, int32_t y) const {
    const int32_t slot = HitTestControl(*project_, x, y);
    for (std::size_t i = 0; slot != kNone && i < controls_.size(); ++i) {
        if (controls_[i].slot == slot) return static_cast<int32_t>(i);
    }
    return kNone;
}

void PanelView::SendChanges() {
    const int64_t now = SteadyMs();
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        Control& c = controls_[i];
        if (c.slot == kNone) continue;
        const int32_t v = project_->slots[c.slot].patchValues[0];
        if (v == c.hostStep) continue;
        c.hostStep = v;
        c.echoUntil = now + kEchoMs;
        messages_.push_back({HostMessage::kWrite,
                             lv2::kFirstParameterPort + static_cast<uint32_t>(i),
                             static_cast<float>(v)});
    }
}

void PanelView::Press(int32_t x, int32_t y) {
    if (grabbed_ != kNone) Release();
    const int32_t px = PanelX(x), py = PanelY(y);
    grabbed_ = ControlAt(px, py);
    if (grabbed_ != kNone)
        messages_.push_back({HostMessage::kGrab, lv2::kFirstParameterPort + grabbed_, 0.0f});
    PanelLeftPress(*project_, session_, platform_, px, py);
    SendChanges();
}

void PanelView::Move(int32_t x, int32_t y) {
    PanelPointerMove(*project_, session_, PanelX(x), PanelY(y));
    SendChanges();
}

void PanelView::Release() {
    PanelLeftRelease(*project_, session_);
    SendChanges();
    if (grabbed_ != kNone)
        messages_.push_back({HostMessage::kRelease, lv2::kFirstParameterPort + grabbed_, 0.0f});
    grabbed_ = kNone;
}

void PanelView::Wheel(int32_t x, int32_t y, int32_t steps, bool shift) {
    const int32_t px = PanelX(x), py = PanelY(y);
    const int32_t control = ControlAt(px, py);
    if (control == kNone || grabbed_ != kNone) return;
    const uint32_t port = lv2::kFirstParameterPort + static_cast<uint32_t>(control);
    messages_.push_back({HostMessage::kGrab, port, 0.0f});
    PanelWheel(*project_, platform_, px, py, steps * (shift ? kWheelShiftStep : kWheelStep));
    SendChanges();
    messages_.push_back({HostMessage::kRelease, port, 0.0f});
}

std::vector<HostMessage> PanelView::TakeMessages() {
    std::vector<HostMessage> out;
    out.swap(messages_);
    return out;
}

} // namespace tw::ui
