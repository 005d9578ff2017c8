#pragma once

// A host for the plugin window, as LV2 hosts load one: a private virtual X server, a
// parent window, the window binary opened with dlopen and instantiated through its
// descriptor with the features hosts pass, and everything the window tells the host
// (control writes, touch grab and release) recorded in order.
#include "mini_host.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>

#include <csignal>
#include <filesystem>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tw::test {

// Xvfb on a display of its own for the whole test program; null when Xvfb is not there or
// no display could be had.
class VirtualScreen {
public:
    static bool Installed() { return std::system("command -v Xvfb >/dev/null 2>&1") == 0; }
    static VirtualScreen* Get() {
        static VirtualScreen screen;
        return screen.ok_ ? &screen : nullptr;
    }
    ~VirtualScreen() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }

private:
    // Tries the displays from TW_TEST_DISPLAY (default 61) on, four of them, so that test
    // programs running side by side each get a server of their own.
    VirtualScreen() {
        if (!Installed()) return;
        const char* first = std::getenv("TW_TEST_DISPLAY");
        const int base = first != nullptr ? std::atoi(first) : 61;
        for (int n = base; n < base + 4 && !ok_; ++n) {
            if (std::filesystem::exists("/tmp/.X" + std::to_string(n) + "-lock")) continue;
            const std::string display = ":" + std::to_string(n);
            pid_ = fork();
            if (pid_ == 0) {
                execlp("Xvfb", "Xvfb", display.c_str(), "-screen", "0", "1280x1024x24", "-nolisten",
                       "tcp", static_cast<char*>(nullptr));
                _exit(127);
            }
            setenv("DISPLAY", display.c_str(), 1);
            for (int i = 0; i < 100 && !ok_; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                // Another program's server that took the display first is not ours.
                if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
                    pid_ = -1;
                    break;
                }
                if (Display* d = XOpenDisplay(nullptr)) {
                    XCloseDisplay(d);
                    ok_ = true;
                }
            }
        }
    }
    pid_t pid_ = -1;
    bool ok_ = false;
};

struct HostMessage {
    char kind; // 'w' write, 'g' grab, 'r' release
    uint32_t port;
    float value;
    bool operator==(const HostMessage&) const = default;
};

struct UiHost {
    // Loads `binary` and opens its window inside a parent window at `scale` (0: none given).
    UiHost(const std::string& binary, const std::string& bundle, double scale = 0.0)
        : lib_(dlopen(binary.c_str(), RTLD_NOW | RTLD_LOCAL)) {
        display = XOpenDisplay(nullptr);
        const auto entry = reinterpret_cast<const LV2UI_Descriptor* (*)(uint32_t)>(
            lib_ != nullptr ? dlsym(lib_, "lv2ui_descriptor") : nullptr);
        descriptor = entry != nullptr ? entry(0) : nullptr;
        if (descriptor == nullptr || display == nullptr) return;
        parent =
            XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1200, 1000, 0, 0, 0);
        XMapWindow(display, parent);
        XSync(display, False);
        scale_ = static_cast<float>(scale);
        option_[0] = {LV2_OPTIONS_INSTANCE,
                      0,
                      mapper.Map(&mapper, LV2_UI__scaleFactor),
                      sizeof(float),
                      mapper.Map(&mapper, "http://lv2plug.in/ns/ext/atom#Float"),
                      &scale_};
        const LV2_Feature parentFeature{LV2_UI__parent, reinterpret_cast<void*>(parent)};
        const LV2_Feature touchFeature{LV2_UI__touch, &touch_};
        const LV2_Feature mapFeature{LV2_URID__map, &mapper.map};
        const LV2_Feature optionsFeature{LV2_OPTIONS__options, option_};
        const LV2_Feature* features[] = {&parentFeature, &touchFeature, &mapFeature,
                                         scale > 0 ? &optionsFeature : nullptr, nullptr};
        handle = descriptor->instantiate(descriptor, "", bundle.c_str(), &UiHost::Write, this,
                                         &widget, features);
        idle = static_cast<const LV2UI_Idle_Interface*>(
            descriptor->extension_data(LV2_UI__idleInterface));
    }
    ~UiHost() {
        if (handle != nullptr) descriptor->cleanup(handle);
        if (display != nullptr) XCloseDisplay(display);
        if (lib_ != nullptr) dlclose(lib_);
    }

    ::Window Child() const { return static_cast<::Window>(reinterpret_cast<uintptr_t>(widget)); }

    void Idle() const { idle->idle(handle); }

    void PortEvent(uint32_t port, float value) const {
        descriptor->port_event(handle, port, sizeof value, 0, &value);
        Idle();
    }

    // The window's pixels as the screen shows them (0x00RRGGBB), its parent raised above
    // other hosts' windows and the window given an idle call to draw what that exposed.
    std::vector<uint32_t> Picture(int& width, int& height) const {
        XRaiseWindow(display, parent);
        XSync(display, False);
        Idle();
        XWindowAttributes a{};
        XGetWindowAttributes(display, Child(), &a);
        width = a.width;
        height = a.height;
        std::vector<uint32_t> pixels;
        XImage* image = XGetImage(display, Child(), 0, 0, static_cast<unsigned>(a.width),
                                  static_cast<unsigned>(a.height), AllPlanes, ZPixmap);
        if (image == nullptr) return pixels;
        for (int y = 0; y < a.height; ++y)
            for (int x = 0; x < a.width; ++x)
                pixels.push_back(static_cast<uint32_t>(XGetPixel(image, x, y)) & 0xFFFFFF);
        XDestroyImage(image);
        return pixels;
    }

    // A pointer event sent to the window as the server would, then one idle call.
    void Send(int type, int x, int y, unsigned button = Button1, unsigned state = 0) {
        XEvent e{};
        // Motion and button events share these fields in the same places.
        e.xbutton.type = type;
        e.xbutton.send_event = True;
        e.xbutton.display = display;
        e.xbutton.window = Child();
        e.xbutton.root = DefaultRootWindow(display);
        e.xbutton.x = e.xbutton.x_root = x;
        e.xbutton.y = e.xbutton.y_root = y;
        e.xbutton.same_screen = True;
        if (type == MotionNotify) {
            e.xmotion.state = Button1Mask;
        } else {
            e.xbutton.state = state;
            e.xbutton.button = button;
        }
        XSendEvent(display, Child(), False,
                   type == MotionNotify
                       ? Button1MotionMask
                       : (type == ButtonPress ? ButtonPressMask : ButtonReleaseMask),
                   &e);
        XSync(display, False);
        Idle();
    }

    static void Write(LV2UI_Controller self, uint32_t port, uint32_t, uint32_t, const void* value) {
        static_cast<UiHost*>(self)->messages.push_back(
            {'w', port, *static_cast<const float*>(value)});
    }
    static void Touch(LV2UI_Feature_Handle self, uint32_t port, bool grabbed) {
        static_cast<UiHost*>(self)->messages.push_back({grabbed ? 'g' : 'r', port, 0.0f});
    }

    MiniHost mapper{""};
    Display* display = nullptr;
    ::Window parent = 0;
    const LV2UI_Descriptor* descriptor = nullptr;
    LV2UI_Handle handle = nullptr;
    LV2UI_Widget widget = nullptr;
    const LV2UI_Idle_Interface* idle = nullptr;
    std::vector<HostMessage> messages;

private:
    void* lib_;
    float scale_ = 1.0f;
    LV2_Options_Option option_[2] = {};
    LV2UI_Touch touch_{this, &UiHost::Touch};
};

} // namespace tw::test
