#include "platform/headless_platform.h"

#include "platform/file_services.h"

#include "platform/bmp.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace tw {

namespace {

// Where the program opens its child windows at start-up.
constexpr WindowRect kStartRects[kEditorWindowCount] = {
    {160, 39, 800, 600},  // Dsp Editor
    {500, 200, 400, 300}, // Gui Editor
    {160, 100, kKeyboardWidth, kKeyboardHeight},
    {640, 128, kMonitorWidth, kMonitorHeight},
};

const char* ButtonsName(MessageButtons b) {
    switch (b) {
    case MessageButtons::Ok:
        return "OK";
    case MessageButtons::OkCancel:
        return "OK/Cancel";
    case MessageButtons::YesNo:
        return "Yes/No";
    case MessageButtons::YesNoCancel:
        return "Yes/No/Cancel";
    }
    return "?";
}

bool Offers(MessageButtons b, MessageAnswer a) {
    switch (b) {
    case MessageButtons::Ok:
        return a == MessageAnswer::Ok;
    case MessageButtons::OkCancel:
        return a == MessageAnswer::Ok || a == MessageAnswer::Cancel;
    case MessageButtons::YesNo:
        return a == MessageAnswer::Yes || a == MessageAnswer::No;
    case MessageButtons::YesNoCancel:
        return a == MessageAnswer::Yes || a == MessageAnswer::No || a == MessageAnswer::Cancel;
    }
    return false;
}

MessageAnswer CautiousAnswer(MessageButtons b) {
    if (Offers(b, MessageAnswer::Cancel)) return MessageAnswer::Cancel;
    if (Offers(b, MessageAnswer::No)) return MessageAnswer::No;
    return MessageAnswer::Ok;
}

template <typename T> std::optional<T> Next(std::deque<std::optional<T>>& script) {
    if (script.empty()) return std::nullopt;
    std::optional<T> v = std::move(script.front());
    script.pop_front();
    return v;
}

int Index(EditorWindow w) {
    const int i = static_cast<int>(w);
    return i >= 0 && i < kEditorWindowCount ? i : 0;
}

} // namespace

HeadlessPlatform::HeadlessPlatform() {
    for (int i = 0; i < kEditorWindowCount; ++i) windows[i].rect = kStartRects[i];
}

std::vector<std::string> HeadlessPlatform::MessageTexts() const {
    std::vector<std::string> out;
    for (const RecordedMessage& m : messages) out.push_back(m.text);
    return out;
}

void HeadlessPlatform::ClearRecord() {
    messages.clear();
    helpTopics.clear();
    menuRebuilds = propertiesRefreshes = audioStops = 0;
    for (HeadlessWindow& w : windows) w.raisedCount = 0;
}

MessageAnswer HeadlessPlatform::ShowMessage(std::string_view text, std::string_view caption,
                                            MessageButtons buttons, MessageIcon icon) {
    if (whileOpen) whileOpen(text);
    MessageAnswer answer = CautiousAnswer(buttons);
    if (const auto given = answerTo.find(text); given != answerTo.end()) {
        answer = given->second;
    } else if (!answers.empty()) {
        // A scripted answer that the box does not offer is a mistake in the script; the
        // box then behaves as if it had been closed.
        if (Offers(buttons, answers.front())) answer = answers.front();
        answers.pop_front();
    }
    messages.push_back({std::string(text), std::string(caption), buttons, icon, answer});
    // Opening a project loads the skin twice (the new-project defaults, then the project's
    // own), so the same box can come more than once; the echo says each one once.
    const bool echoed =
        std::any_of(messages.begin(), messages.end() - 1, [&](const RecordedMessage& m) {
            return m.text == text && m.caption == caption;
        });
    if (echo != nullptr && !echoed) {
        // One line per box: the text's line breaks become " - ".
        std::string line;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] != '\n') {
                line += text[i];
            } else if (i == 0 || text[i - 1] != '\n') {
                line += " - ";
            }
        }
        std::fprintf(echo, "[%.*s] %s", static_cast<int>(caption.size()), caption.data(),
                     line.c_str());
        if (buttons != MessageButtons::Ok) std::fprintf(echo, " (%s)", ButtonsName(buttons));
        std::fputc('\n', echo);
    }
    return answer;
}

std::optional<std::string> HeadlessPlatform::ChooseOpenFile(std::string_view, std::string_view,
                                                            std::string_view) {
    return Next(openPaths);
}

std::optional<std::string> HeadlessPlatform::ChooseSaveFile(std::string_view, std::string_view,
                                                            std::string_view) {
    return Next(savePaths);
}

std::optional<std::string> HeadlessPlatform::ChooseFolder(std::string_view) {
    return Next(folderPaths);
}

std::optional<uint32_t> HeadlessPlatform::ChooseColour(uint32_t) {
    return Next(colours);
}

void HeadlessPlatform::ShowHelp(std::string_view topic) {
    helpTopics.emplace_back(topic);
}

BitmapHandle HeadlessPlatform::LoadBitmap(std::string_view path) {
    return LoadBmpFile(path);
}

std::optional<std::vector<std::string>> HeadlessPlatform::ListFolder(std::string_view folder) {
    return ListFolderEntries(folder);
}

WindowRect HeadlessPlatform::EditorWindowRect(EditorWindow window) {
    return windows[Index(window)].rect;
}

bool HeadlessPlatform::IsEditorWindowVisible(EditorWindow window) {
    return windows[Index(window)].visible;
}

void HeadlessPlatform::MoveEditorWindow(EditorWindow window, const WindowRect& rect) {
    windows[Index(window)].rect = rect;
    // The program records the Gui Editor's size whenever that window is sized.
    if (window == EditorWindow::GuiEditor) guiRecordedSize = {0, 0, rect.width, rect.height};
}

void HeadlessPlatform::ShowEditorWindow(EditorWindow window, bool visible) {
    windows[Index(window)].visible = visible;
}

void HeadlessPlatform::BringEditorWindowToTop(EditorWindow window) {
    ++windows[Index(window)].raisedCount;
}

} // namespace tw
