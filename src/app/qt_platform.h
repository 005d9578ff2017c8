#pragma once

// The desktop services of the program on Qt: message boxes, file, folder and colour
// dialogs, the help viewer, bitmaps and folder listing. The window-side services (child
// window layout, title, menus, toolbar views) belong to the main window, which attaches
// itself as the shell; until it does, they answer with an empty layout and do nothing.
#include "platform/platform.h"

#include <QColor>
#include <QPointer>
#include <QString>

#include <functional>
#include <string>
#include <string_view>
#include <utility>

class QTextBrowser;
class QWidget;

namespace tw {

inline constexpr int32_t kCustomColourCount = 16;
// The common dialogs hand back paths of at most this many characters.
inline constexpr std::size_t kMaxChosenPath = 259;

// The help page a topic names, below <appFolder>/Resources/help/: "Tonewright.chm" alone
// is the index, "Tonewright.chm::/page.htm" is page.htm. Empty when the topic names
// something outside the help folder.
std::string HelpPagePath(std::string_view appFolder, std::string_view topic);

// The filter line a file dialog shows: the name as given when it already lists its
// pattern in brackets, else the name followed by the pattern in brackets.
std::string FileDialogFilter(std::string_view filterName, std::string_view pattern);

// The text of a message box. A message whose lines hold tabs is a table: it becomes rich
// text with one row a line and the numbers right-aligned in a column of their own, since tab
// stops would leave them ragged in a proportional font. Any other message stays plain.
QString MessageBoxText(std::string_view text);

// The folder a file dialog starts in: the current project's folder when it has one that
// exists, else the "Projects" folder in the application folder.
std::string DialogStartFolder(std::string_view appFolder, std::string_view projectPath);

class QtPlatform final : public Platform {
public:
    // Help pages are looked for below the application folder.
    explicit QtPlatform(std::string appFolder);
    ~QtPlatform() override;

    // The window that owns dialogs, message boxes and the help viewer.
    void SetOwner(QWidget* owner) { owner_ = owner; }
    void SetShell(Platform* shell) { shell_ = shell; }
    // Where the open project lies ("" for none): the file dialogs start in its folder.
    void SetProjectPath(std::function<std::string()> projectPath) {
        projectPath_ = std::move(projectPath);
    }

    // The help viewer once it has been opened (it stays for the run, hidden when closed).
    QTextBrowser* HelpBrowser() const;

    MessageAnswer ShowMessage(std::string_view text, std::string_view caption,
                              MessageButtons buttons, MessageIcon icon) override;
    std::optional<std::string> ChooseOpenFile(std::string_view filterName, std::string_view pattern,
                                              std::string_view defaultExtension) override;
    std::optional<std::string> ChooseSaveFile(std::string_view filterName, std::string_view pattern,
                                              std::string_view defaultExtension) override;
    std::optional<std::string> ChooseFolder(std::string_view title) override;
    std::optional<uint32_t> ChooseColour(uint32_t initial) override;
    void ShowHelp(std::string_view topic) override;
    void SetClipboardText(std::string_view text) override;
    std::string ClipboardText() override;
    BitmapHandle LoadBitmap(std::string_view path) override;
    std::optional<std::vector<std::string>> ListFolder(std::string_view folder) override;

    WindowRect MainWindowRect() override;
    void SetMainTitle(std::string_view title) override;
    WindowRect EditorWindowRect(EditorWindow window) override;
    bool IsEditorWindowVisible(EditorWindow window) override;
    void MoveEditorWindow(EditorWindow window, const WindowRect& rect) override;
    void ShowEditorWindow(EditorWindow window, bool visible) override;
    void BringEditorWindowToTop(EditorWindow window) override;
    WindowRect GuiEditorRecordedSize() override;
    void RebuildMenus() override;
    void ShowPatchName(std::string_view name) override;
    void SelectZoom(int32_t zoom) override;
    void RefreshProperties() override;
    void StopAudio() override;

private:
    std::optional<std::string> TakePath(const QString& chosen);
    QString StartFolder() const;

    std::string appFolder_;
    QPointer<QWidget> owner_;
    Platform* shell_ = nullptr;
    std::function<std::string()> projectPath_;
    QPointer<QWidget> helpWindow_;
    QTextBrowser* helpBrowser_ = nullptr;
    QColor customColours_[kCustomColourCount];
};

} // namespace tw
