#pragma once

// The desktop services that the model, the devices and the export layer use. The Qt
// program implements them with real windows and dialogs; HeadlessPlatform answers them
// from a script for the tests and tonewright-cli. Nothing here names a toolkit type.
#include "platform/bitmap.h"
#include "platform/product.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

enum class MessageButtons : int32_t { Ok, OkCancel, YesNo, YesNoCancel };
enum class MessageIcon : int32_t { Information, Question, Warning, Error };
enum class MessageAnswer : int32_t { Ok, Cancel, Yes, No };

// The four editor windows whose layout a project file carries, in file order.
enum class EditorWindow : int32_t {
    DspEditor = 0,
    GuiEditor = 1,
    VirtualKeyboard = 2,
    MidiMonitor = 3
};
inline constexpr int32_t kEditorWindowCount = 4;

// The help file. A help topic is its name alone for the index page, or its name, "::/"
// and the page.
inline constexpr const char* kHelpFile = "Tonewright.chm";
static_assert(std::string_view(kHelpFile).starts_with(kProductName) &&
              std::string_view(kHelpFile).substr(std::string_view(kProductName).size()) == ".chm");

// Fixed sizes of the two windows that cannot be resized.
inline constexpr int32_t kKeyboardWidth = 719;
inline constexpr int32_t kKeyboardHeight = 65;
inline constexpr int32_t kMonitorWidth = 156;
inline constexpr int32_t kMonitorHeight = 65;

// The editors' work area inside the main window, in the editor windows' coordinates: right
// of the Properties panel and below the toolbar; the margins leave room for the window's
// frame, title, menu and status bars.
inline constexpr int32_t kEditorAreaLeft = 160;
inline constexpr int32_t kEditorAreaTop = 39;
inline constexpr int32_t kEditorAreaRightMargin = 8;
inline constexpr int32_t kEditorAreaBottomMargin = 100;

// A window's outer rectangle. For the editor windows x and y are the position inside the
// main window's client area, which is what a project file stores; for the main window they
// are screen coordinates.
struct WindowRect {
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
};

class Platform {
public:
    virtual ~Platform() = default;

    // ---- Message boxes (kept on top) ----
    virtual MessageAnswer ShowMessage(std::string_view text, std::string_view caption,
                                      MessageButtons buttons, MessageIcon icon) = 0;

    // ---- Common dialogs; nullopt when the user cancels ----
    // filterName is what the user reads ("Project Files (*.tw1)"), pattern what it matches.
    virtual std::optional<std::string> ChooseOpenFile(std::string_view filterName,
                                                      std::string_view pattern,
                                                      std::string_view defaultExtension) = 0;
    virtual std::optional<std::string> ChooseSaveFile(std::string_view filterName,
                                                      std::string_view pattern,
                                                      std::string_view defaultExtension) = 0;
    virtual std::optional<std::string> ChooseFolder(std::string_view title) = 0;
    // Colours are 0x00RRGGBB; the 16 custom colours live for the run inside the platform.
    virtual std::optional<uint32_t> ChooseColour(uint32_t initial) = 0;

    // ---- Help viewer: kHelpFile alone for the index, or kHelpFile + "::/page.htm" ----
    virtual void ShowHelp(std::string_view topic) = 0;

    // ---- Files ----
    // Decodes a BMP file; nullptr when it cannot be read or is not a picture.
    virtual BitmapHandle LoadBitmap(std::string_view path) = 0;
    // The names of the entries of a folder (without "." and ".."), in the platform's
    // order; nullopt when the folder cannot be listed.
    virtual std::optional<std::vector<std::string>> ListFolder(std::string_view folder) = 0;

    // ---- The desktop's text clipboard (the editors' Cut, Copy and Paste) ----
    virtual void SetClipboardText(std::string_view text) = 0;
    // What the clipboard holds as text; empty when it holds none.
    virtual std::string ClipboardText() = 0;

    // ---- Windows ----
    virtual WindowRect MainWindowRect() = 0;
    virtual void SetMainTitle(std::string_view title) = 0;
    virtual WindowRect EditorWindowRect(EditorWindow window) = 0;
    virtual bool IsEditorWindowVisible(EditorWindow window) = 0;
    virtual void MoveEditorWindow(EditorWindow window, const WindowRect& rect) = 0;
    virtual void ShowEditorWindow(EditorWindow window, bool visible) = 0;
    virtual void BringEditorWindowToTop(EditorWindow window) = 0;
    // The Gui Editor's outer size as last recorded when that window was sized: the
    // panel size a build uses and a project file carries.
    virtual WindowRect GuiEditorRecordedSize() = 0;

    // ---- The shell's views of the project, refreshed after the model replaced it ----
    virtual void RebuildMenus() = 0;
    virtual void ShowPatchName(std::string_view name) = 0;
    // Shows zoom level `zoom` (1..10) in the toolbar's zoom list, whose entry zoom - 1 it
    // is; the list offers 1..9, so level 10 (reached with the wheel) has no entry.
    virtual void SelectZoom(int32_t zoom) = 0;
    virtual void RefreshProperties() = 0;
    // Puts the audio output and the toolbar into their stopped state.
    virtual void StopAudio() = 0;
};

} // namespace tw
