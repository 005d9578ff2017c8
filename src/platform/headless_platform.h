#pragma once

// A Platform without a screen: message boxes are recorded (and echoed to a stream when
// asked) and answered from a script, dialogs return scripted paths, bitmaps are decoded
// from disk and the editor windows are plain rectangles that start where the program
// opens them.
#include "platform/platform.h"

#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace tw {

struct RecordedMessage {
    std::string text;
    std::string caption;
    MessageButtons buttons = MessageButtons::Ok;
    MessageIcon icon = MessageIcon::Information;
    MessageAnswer answer = MessageAnswer::Ok;
};

struct HeadlessWindow {
    WindowRect rect;
    bool visible = true;
    int32_t raisedCount = 0;
};

class HeadlessPlatform final : public Platform {
public:
    HeadlessPlatform();

    // ---- Script ----
    // Answers given to the next message boxes, in order. When the script runs dry a box
    // gets the most cautious answer it offers: Cancel, else No, else Ok.
    std::deque<MessageAnswer> answers;
    // Answers to boxes with these texts, whenever they come; such boxes leave `answers` alone.
    std::map<std::string, MessageAnswer, std::less<>> answerTo;
    // Paths returned by the next file and folder dialogs; nullopt means "Cancel". An
    // empty script cancels.
    std::deque<std::optional<std::string>> openPaths;
    std::deque<std::optional<std::string>> savePaths;
    std::deque<std::optional<std::string>> folderPaths;
    std::deque<std::optional<uint32_t>> colours;
    // Called while a box is open, as something happening before the user answers (a signal
    // ending the program) would be.
    std::function<void(std::string_view text)> whileOpen;
    // Where message boxes are echoed as they appear, each distinct one once (tonewright-cli
    // uses stderr).
    std::FILE* echo = nullptr;

    // ---- Record ----
    std::vector<RecordedMessage> messages;
    std::vector<std::string> helpTopics;
    std::string mainTitle = kProductName;
    std::string patchName;
    int32_t zoomShown = 0;
    int32_t menuRebuilds = 0;
    int32_t propertiesRefreshes = 0;
    int32_t audioStops = 0;
    WindowRect mainWindow{0, 0, 1920, 1080};
    HeadlessWindow windows[kEditorWindowCount];
    WindowRect guiRecordedSize{0, 0, 400, 300};
    // The clipboard's text, as another program could set it.
    std::string clipboard;

    // The texts of the recorded messages, for short assertions.
    std::vector<std::string> MessageTexts() const;
    // Forgets what was recorded so far (messages, help topics, counters); the windows keep
    // their places.
    void ClearRecord();

    // ---- Platform ----
    MessageAnswer ShowMessage(std::string_view text, std::string_view caption,
                              MessageButtons buttons, MessageIcon icon) override;
    std::optional<std::string> ChooseOpenFile(std::string_view filterName, std::string_view pattern,
                                              std::string_view defaultExtension) override;
    std::optional<std::string> ChooseSaveFile(std::string_view filterName, std::string_view pattern,
                                              std::string_view defaultExtension) override;
    std::optional<std::string> ChooseFolder(std::string_view title) override;
    std::optional<uint32_t> ChooseColour(uint32_t initial) override;
    void ShowHelp(std::string_view topic) override;
    BitmapHandle LoadBitmap(std::string_view path) override;
    std::optional<std::vector<std::string>> ListFolder(std::string_view folder) override;
    void SetClipboardText(std::string_view text) override { clipboard = text; }
    std::string ClipboardText() override { return clipboard; }
    WindowRect MainWindowRect() override { return mainWindow; }
    void SetMainTitle(std::string_view title) override { mainTitle = title; }
    WindowRect EditorWindowRect(EditorWindow window) override;
    bool IsEditorWindowVisible(EditorWindow window) override;
    void MoveEditorWindow(EditorWindow window, const WindowRect& rect) override;
    void ShowEditorWindow(EditorWindow window, bool visible) override;
    void BringEditorWindowToTop(EditorWindow window) override;
    WindowRect GuiEditorRecordedSize() override { return guiRecordedSize; }
    void RebuildMenus() override { ++menuRebuilds; }
    void ShowPatchName(std::string_view name) override { patchName = name; }
    void SelectZoom(int32_t zoom) override { zoomShown = zoom; }
    void RefreshProperties() override { ++propertiesRefreshes; }
    void StopAudio() override { ++audioStops; }
};

} // namespace tw
