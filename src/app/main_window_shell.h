#pragma once

// The Platform the rest of the program talks to: desktop services come from the injected
// platform, everything about windows and toolbar views from the main window.
#include "app/main_window.h"

#include <QSize>

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

struct ChildShape {
    const char* title;
    WindowRect start; // client coordinates, as project files store them
    bool sizeable;
};

// In EditorWindow order.
inline constexpr ChildShape kChildren[kEditorWindowCount] = {
    {"Dsp Editor", {160, 39, 800, 600}, true},
    {"Gui Editor", {500, 200, 400, 300}, true},
    {"Virtual Keyboard", {160, 100, kKeyboardWidth, kKeyboardHeight}, false},
    {"Midi Monitor", {640, 128, kMonitorWidth, kMonitorHeight}, false},
};

// The place of an editor window in kChildren and the main window's tables.
inline int ChildIndex(EditorWindow w) {
    const int i = static_cast<int>(w);
    return i >= 0 && i < kEditorWindowCount ? i : 0;
}

class MainWindow::Shell final : public Platform {
public:
    Shell(MainWindow& window, Platform& services);

    // While the program starts, the preferences are read twice and a project may be opened
    // more than once; each distinct message is shown only the first time.
    bool starting = true;
    // While the session ends nothing may wait for the user: what would be a box (a
    // preferences file that cannot be written) goes to standard error, answered cautiously.
    bool ending = false;

    MessageAnswer ShowMessage(std::string_view text, std::string_view caption,
                              MessageButtons buttons, MessageIcon icon) override;
    // A question nobody answered: neither Yes nor No, so that nothing is decided for the
    // user ("No" to the recovery question would set the copy aside).
    static MessageAnswer Unanswered(MessageButtons buttons) {
        return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
    }
    // A box the session's end closed was not answered, whatever the box returned.
    MessageAnswer Asked(std::string_view text, std::string_view caption, MessageButtons buttons,
                        MessageIcon icon);
    // A file named on the command line answers the open dialog once.
    std::optional<std::string> givenFile;

    std::optional<std::string> ChooseOpenFile(std::string_view filterName, std::string_view pattern,
                                              std::string_view extension) override;
    std::optional<std::string> ChooseSaveFile(std::string_view filterName, std::string_view pattern,
                                              std::string_view extension) override {
        return services_.ChooseSaveFile(filterName, pattern, extension);
    }
    std::optional<std::string> ChooseFolder(std::string_view title) override {
        return services_.ChooseFolder(title);
    }
    std::optional<uint32_t> ChooseColour(uint32_t initial) override {
        return services_.ChooseColour(initial);
    }
    void ShowHelp(std::string_view topic) override { services_.ShowHelp(topic); }
    void SetClipboardText(std::string_view text) override { services_.SetClipboardText(text); }
    std::string ClipboardText() override { return services_.ClipboardText(); }
    BitmapHandle LoadBitmap(std::string_view path) override { return services_.LoadBitmap(path); }
    std::optional<std::vector<std::string>> ListFolder(std::string_view folder) override {
        return services_.ListFolder(folder);
    }

    WindowRect MainWindowRect() override;
    void SetMainTitle(std::string_view title) override;
    WindowRect EditorWindowRect(EditorWindow w) override;
    bool IsEditorWindowVisible(EditorWindow w) override;
    void MoveEditorWindow(EditorWindow w, const WindowRect& rect) override;
    void ShowEditorWindow(EditorWindow w, bool visible) override;
    void BringEditorWindowToTop(EditorWindow w) override;
    WindowRect GuiEditorRecordedSize() override { return guiSize_; }
    void RecordGuiSize(const QSize& size) { guiSize_ = {0, 0, size.width(), size.height()}; }
    void RebuildMenus() override;
    void ShowPatchName(std::string_view name) override;
    void SelectZoom(int32_t zoom) override;
    void RefreshProperties() override;
    void StopAudio() override;

    WindowRect Pending(int i) const { return pending_[i]; }
    bool PendingVisible(int i) const { return pendingVisible_[i]; }

private:
    MainWindow& window_;
    Platform& services_;
    std::map<std::string, MessageAnswer> shownAtStart_;
    WindowRect pending_[kEditorWindowCount];
    bool pendingVisible_[kEditorWindowCount] = {};
    WindowRect guiSize_{0, 0, 400, 300};
};

} // namespace tw
