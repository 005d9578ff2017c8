// The plugin's window for LV2 hosts: an X11 window inside the host's, showing the panel
// designed in the Gui Editor and played as it is played there. Plain Xlib, so that it runs
// inside hosts built on any toolkit; everything it knows of the design comes from its
// bundle (the description, the plugin binary's manifest, the bitmaps).
#include "plugin/lv2_contract.h"
#include "plugin/ui/bundle_reader.h"
#include "plugin/ui/panel_view.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <string>

namespace tw::ui {

namespace {

int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Each problem of a bundle is said once per process, however often the window opens.
void SayOnce(const std::string& problem) {
    static std::mutex mutex;
    static std::set<std::string> said;
    const std::lock_guard<std::mutex> lock(mutex);
    if (said.insert(problem).second)
        std::fprintf(stderr, "Tonewright plugin window: %s\n", problem.c_str());
}

// Fonts for labels drawn by the window, best first; "fixed" is in every X server.
constexpr const char* kLabelFonts[] = {"-*-helvetica-bold-r-normal--14-*-*-*-*-*-iso8859-1",
                                       "-*-dejavu sans-bold-r-normal--13-*-*-*-*-*-*-*",
                                       "-misc-fixed-bold-r-normal--13-*-*-*-*-*-iso8859-1",
                                       "fixed"};

// The mean brightness (0..255) of the picture in a rectangle, clipped to it.
int Brightness(const Bitmap& b, int32_t x, int32_t y, int32_t width, int32_t height) {
    int64_t sum = 0, count = 0;
    for (int32_t py = std::max(y, 0); py < std::min(y + height, b.height); ++py) {
        for (int32_t px = std::max(x, 0); px < std::min(x + width, b.width); ++px) {
            const uint32_t c = b.At(px, py);
            sum += ((c >> 16) & 0xFF) * 3 + ((c >> 8) & 0xFF) * 6 + (c & 0xFF);
            ++count;
        }
    }
    return count == 0 ? 255 : static_cast<int>(sum / (10 * count));
}

struct PanelWindow {
    std::unique_ptr<PanelView> view;
    Display* display = nullptr;
    ::Window window = 0;
    GC gc = nullptr;
    XImage* image = nullptr;
    Atom deleteAtom = 0;
    bool ownsTopLevel = false;
    bool closed = false;
    LV2UI_Write_Function write = nullptr;
    LV2UI_Controller controller = nullptr;
    const LV2UI_Touch* touch = nullptr;

    ~PanelWindow() {
        if (image != nullptr) {
            image->data = nullptr; // the pixels belong to the view
            XDestroyImage(image);
        }
        if (display != nullptr) {
            if (gc != nullptr) XFreeGC(display, gc);
            if (window != 0) XDestroyWindow(display, window);
            XCloseDisplay(display);
        }
    }

    void Put(const Rect& r) {
        if (r.width > 0 && r.height > 0)
            XPutImage(display, window, gc, image, r.x, r.y, r.x, r.y,
                      static_cast<unsigned>(r.width), static_cast<unsigned>(r.height));
    }

    // Puts what changed on the screen and waits until the server has it, so that the
    // picture is there when the host's idle call returns; nothing changed costs nothing.
    void PutChanges() {
        const std::vector<Rect> changed = view->Update();
        for (const Rect& r : changed) Put(r);
        if (!changed.empty()) XSync(display, False);
    }

    void Deliver() {
        for (const HostMessage& m : view->TakeMessages()) {
            if (m.kind == HostMessage::kWrite) {
                if (write != nullptr) write(controller, m.port, sizeof(float), 0, &m.value);
            } else if (touch != nullptr) {
                touch->touch(touch->handle, m.port, m.kind == HostMessage::kGrab);
            }
        }
    }

    // Labels the background lacks are drawn by the X server's own fonts onto the panel's
    // base picture, so that they scale with it.
    void DrawLabels(Visual* visual, int depth) {
        const auto labels = view->Labels();
        if (labels.empty()) return;
        XFontStruct* font = nullptr;
        for (const char* name : kLabelFonts) {
            if ((font = XLoadQueryFont(display, name)) != nullptr) break;
        }
        if (font == nullptr) {
            SayOnce("no X font for the controls' labels; they are left out");
            return;
        }
        Bitmap& base = view->Base();
        const auto w = static_cast<unsigned>(base.width), h = static_cast<unsigned>(base.height);
        const Pixmap pixmap = XCreatePixmap(display, window, w, h, static_cast<unsigned>(depth));
        XImage* put =
            XCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, 0,
                         reinterpret_cast<char*>(base.pixels.data()), w, h, 32, base.width * 4);
        XPutImage(display, pixmap, gc, put, 0, 0, 0, 0, w, h);
        put->data = nullptr;
        XDestroyImage(put);
        XSetFont(display, gc, font->fid);
        for (const PanelView::Label& l : labels) {
            const int length = static_cast<int>(std::min<std::size_t>(l.text.size(), 255));
            const int width = XTextWidth(font, l.text.c_str(), length);
            // The label's colour is not part of the design the plugin gets: dark text on a
            // light panel, light text on a dark one.
            XSetForeground(display, gc,
                           Brightness(base, l.centreX - width / 2, l.top, width,
                                      font->ascent + font->descent) < 110
                               ? 0xF0F0F0
                               : 0x000000);
            XDrawString(display, pixmap, gc, l.centreX - width / 2, l.top + font->ascent,
                        l.text.c_str(), length);
        }
        if (XImage* got = XGetImage(display, pixmap, 0, 0, w, h, AllPlanes, ZPixmap)) {
            for (int32_t y = 0; y < base.height; ++y) {
                for (int32_t x = 0; x < base.width; ++x)
                    base.pixels[static_cast<std::size_t>(y) * base.width + x] =
                        0xFF000000u | static_cast<uint32_t>(XGetPixel(got, x, y));
            }
            XDestroyImage(got);
        }
        XFreePixmap(display, pixmap);
        XFreeFont(display, font);
    }

    void HandleEvents() {
        bool exposed = false;
        while (XPending(display) > 0) {
            XEvent e;
            XNextEvent(display, &e);
            switch (e.type) {
            case Expose:
                Put({e.xexpose.x, e.xexpose.y, e.xexpose.width, e.xexpose.height});
                exposed = true;
                break;
            case ButtonPress:
                if (e.xbutton.button == Button1) view->Press(e.xbutton.x, e.xbutton.y);
                if (e.xbutton.button == Button4 || e.xbutton.button == Button5)
                    view->Wheel(e.xbutton.x, e.xbutton.y, e.xbutton.button == Button4 ? 1 : -1,
                                (e.xbutton.state & ShiftMask) != 0);
                break;
            case ButtonRelease:
                if (e.xbutton.button == Button1) view->Release();
                break;
            case MotionNotify:
                // Only where the pointer is now matters.
                while (XCheckTypedWindowEvent(display, window, MotionNotify, &e)) {}
                view->Move(e.xmotion.x, e.xmotion.y);
                break;
            case ClientMessage:
                if (static_cast<Atom>(e.xclient.data.l[0]) == deleteAtom) closed = true;
                break;
            default:
                break;
            }
        }
        if (exposed) XFlush(display);
    }
};

const void* FeatureData(const LV2_Feature* const* features, const char* uri) {
    for (int i = 0; features != nullptr && features[i] != nullptr; ++i) {
        if (std::strcmp(features[i]->URI, uri) == 0) return features[i]->data;
    }
    return nullptr;
}

double ScaleFactor(const LV2_Feature* const* features) {
    const auto* map = static_cast<const LV2_URID_Map*>(FeatureData(features, LV2_URID__map));
    const auto* options =
        static_cast<const LV2_Options_Option*>(FeatureData(features, LV2_OPTIONS__options));
    if (map == nullptr || options == nullptr) return 1.0;
    const LV2_URID key = map->map(map->handle, LV2_UI__scaleFactor);
    const LV2_URID floatType = map->map(map->handle, "http://lv2plug.in/ns/ext/atom#Float");
    for (; options->key != 0; ++options) {
        if (options->key == key && options->type == floatType && options->size == sizeof(float))
            return *static_cast<const float*>(options->value);
    }
    return 1.0;
}

LV2UI_Handle Instantiate(const LV2UI_Descriptor*, const char*, const char* bundlePath,
                         LV2UI_Write_Function write, LV2UI_Controller controller,
                         LV2UI_Widget* widget, const LV2_Feature* const* features) {
    try {
        const PanelFiles files = ReadPanelFiles(bundlePath != nullptr ? bundlePath : ".");
        for (const std::string& problem : files.problems) SayOnce(problem);
        auto w = std::make_unique<PanelWindow>();
        w->write = write;
        w->controller = controller;
        w->touch = static_cast<const LV2UI_Touch*>(FeatureData(features, LV2_UI__touch));
        w->view = std::make_unique<PanelView>(files, ScaleFactor(features));
        w->display = XOpenDisplay(nullptr);
        if (w->display == nullptr) {
            SayOnce("cannot open the X display; the host shows its own controls");
            return nullptr;
        }
        Display* d = w->display;
        const int screen = DefaultScreen(d);
        Visual* visual = DefaultVisual(d, screen);
        const int depth = DefaultDepth(d, screen);
        if (depth < 24 || visual->red_mask != 0xFF0000 || visual->blue_mask != 0xFF)
            SayOnce("the screen is not 24-bit true colour; the panel's colours may be wrong");
        const void* parent = FeatureData(features, LV2_UI__parent);
        w->ownsTopLevel = parent == nullptr;
        const ::Window parentWindow =
            parent != nullptr ? static_cast<::Window>(reinterpret_cast<uintptr_t>(parent))
                              : RootWindow(d, screen);
        const auto width = static_cast<unsigned>(w->view->Width());
        const auto height = static_cast<unsigned>(w->view->Height());
        w->window = XCreateSimpleWindow(d, parentWindow, 0, 0, width, height, 0, 0, 0);
        XSelectInput(d, w->window,
                     ExposureMask | ButtonPressMask | ButtonReleaseMask | Button1MotionMask);
        if (w->ownsTopLevel) {
            w->deleteAtom = XInternAtom(d, "WM_DELETE_WINDOW", False);
            XSetWMProtocols(d, w->window, &w->deleteAtom, 1);
            XStoreName(d, w->window, "Tonewright");
        }
        w->gc = XCreateGC(d, w->window, 0, nullptr);
        if (!w->view->BackgroundShowsControls()) w->DrawLabels(visual, depth);
        w->image = XCreateImage(d, visual, static_cast<unsigned>(depth), ZPixmap, 0,
                                reinterpret_cast<char*>(const_cast<uint32_t*>(w->view->Pixels())),
                                width, height, 32, static_cast<int>(width) * 4);
        XMapWindow(d, w->window);
        w->PutChanges();
        if (const auto* resize =
                static_cast<const LV2UI_Resize*>(FeatureData(features, LV2_UI__resize)))
            resize->ui_resize(resize->handle, static_cast<int>(width), static_cast<int>(height));
        *widget = reinterpret_cast<LV2UI_Widget>(static_cast<uintptr_t>(w->window));
        return w.release();
    } catch (const std::bad_alloc&) {
        SayOnce("out of memory");
        return nullptr;
    }
}

void Cleanup(LV2UI_Handle handle) {
    delete static_cast<PanelWindow*>(handle);
}

void PortEvent(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format,
               const void* buffer) {
    auto* w = static_cast<PanelWindow*>(handle);
    // Control ports only: a float, in the plain protocol.
    if (format != 0 || size != sizeof(float) || buffer == nullptr) return;
    w->view->PortEvent(port, *static_cast<const float*>(buffer), SteadyMs());
}

int Idle(LV2UI_Handle handle) {
    auto* w = static_cast<PanelWindow*>(handle);
    w->HandleEvents();
    w->Deliver();
    w->PutChanges();
    return w->closed ? 1 : 0;
}

const void* ExtensionData(const char* uri) {
    static const LV2UI_Idle_Interface idle = {Idle};
    if (std::strcmp(uri, LV2_UI__idleInterface) == 0) return &idle;
    return nullptr;
}

// The window's URI follows the plugin's, read from the description beside this binary.
std::string OwnUri() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&lv2ui_descriptor), &info) == 0 || info.dli_fname == nullptr)
        return {};
    std::string folder = info.dli_fname;
    const std::size_t slash = folder.rfind('/');
    folder = slash == std::string::npos ? "." : folder.substr(0, slash);
    const BundleDescription description = ReadBundleDescription(folder);
    if (description.pluginUri.empty()) return {};
    return lv2::UiUri(description.pluginUri);
}

} // namespace

} // namespace tw::ui

extern "C" LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
    using namespace tw::ui;
    static const std::string uri = OwnUri();
    static const LV2UI_Descriptor descriptor = {uri.c_str(), Instantiate, Cleanup, PortEvent,
                                                ExtensionData};
    return index == 0 && !uri.empty() ? &descriptor : nullptr;
}
