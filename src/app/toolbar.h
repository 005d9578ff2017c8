#pragma once

// The main window's toolbar: thirteen image buttons that send command numbers, the patch
// name field and the zoom list.
#include <QString>
#include <QToolBar>

#include <cstdint>

class QAction;
class QComboBox;
class QLineEdit;

namespace tw {

// The zoom list offers levels 1..9; level 10, which only the mouse wheel reaches, has a
// tenth entry that the list itself never offers.
inline constexpr int32_t kListedZoomLevels = 9;
inline constexpr int32_t kMaxZoomLevel = 10;

// The zoom list's text for a level: 20 x (level + 1) percent.
QString ZoomText(int32_t level);

class MainToolbar final : public QToolBar {
    Q_OBJECT
public:
    explicit MainToolbar(QWidget* parent = nullptr);

    // The button that sends `command`; null for numbers without a button.
    QAction* Button(int32_t command) const;
    QLineEdit* PatchNameField() const { return patchName_; }
    QComboBox* ZoomList() const { return zoomList_; }

    // The tooltip of the button that sends `command`; empty for other numbers.
    static QString Tooltip(int32_t command);

    // Shows a patch name without treating it as typed.
    void ShowPatchName(const QString& name);
    // Shows zoom level `level` (1..10) without treating it as chosen.
    void SelectZoom(int32_t level);
    // "Start Audio" and "Stop Audio" share one place: exactly one of them shows.
    void ShowAudioRunning(bool running);
    bool AudioShownRunning() const;

Q_SIGNALS:
    void CommandSent(int32_t command);
    // The user changed the text of the patch name field.
    void PatchNameEdited(const QString& text);
    // The user picked an entry of the zoom list (always one of levels 1..9).
    void ZoomChosen(int32_t level);

private:
    void AddButton(int32_t command, int image);
    void AddDivider();

    QAction* buttons_[13] = {};
    int32_t commands_[13] = {};
    int buttonCount_ = 0;
    QLineEdit* patchName_ = nullptr;
    QComboBox* zoomList_ = nullptr;
};

} // namespace tw
