#pragma once

// The "Build Project" dialog: the plugin's identity, the target platform, the log pane of
// every build made while it is open, and "Render Parameters On Background", which hides
// the panel's controls from the captured background. Every slot's flag is set again when
// the dialog opens, after each build and when it closes.
#include <QDialog>
#include <QImage>

#include <functional>
#include <string_view>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace tw {

struct AppContext;

// The panel as the Gui Editor shows it now; a null image means "draw it afresh".
using PanelCapture = std::function<QImage()>;

class BuildDialog final : public QDialog {
    Q_OBJECT
public:
    BuildDialog(QWidget* parent, AppContext& ctx, PanelCapture capturePanel);
    ~BuildDialog() override;

    QLineEdit* NameField() const { return nameField_; }
    QLineEdit* AuthorField() const { return authorField_; }
    QLineEdit* VersionField() const { return versionField_; }
    QLineEdit* IdField() const { return idField_; }
    QComboBox* PlatformList() const { return platformList_; }
    QLineEdit* FolderField() const { return folderField_; }
    QCheckBox* RenderBox() const { return renderBox_; }
    QCheckBox* Lv2Box() const { return lv2Box_; }
    QPlainTextEdit* LogPane() const { return logPane_; }
    QPushButton* BuildButton() const { return buildButton_; }
    QPushButton* ExitButton() const { return exitButton_; }
    QPushButton* HelpButton() const { return helpButton_; }

    // The "Build" button.
    void Build();
    bool IsBuilding() const { return building_; }

protected:
    void done(int result) override;

private:
    // The parts of the dialog, made in this order.
    void AddRequiredInfo();
    void AddOptionalInfo();
    void AddOutputOptions();
    void AddLogAndButtons();
    void ShowOpeningState();
    void ConnectControls();

    void AppendLine(std::string_view line);
    void PlaceBesideMainWindow(QWidget* parent);

    AppContext& ctx_;
    PanelCapture capturePanel_;
    QLineEdit* nameField_ = nullptr;
    QLineEdit* authorField_ = nullptr;
    QLineEdit* versionField_ = nullptr;
    QLineEdit* idField_ = nullptr;
    QComboBox* platformList_ = nullptr;
    QLineEdit* folderField_ = nullptr;
    QCheckBox* renderBox_ = nullptr;
    QCheckBox* lv2Box_ = nullptr;
    QPlainTextEdit* logPane_ = nullptr;
    QPushButton* buildButton_ = nullptr;
    QPushButton* exitButton_ = nullptr;
    QPushButton* helpButton_ = nullptr;
    bool building_ = false;
};

// Runs the dialog modally. `capturePanel` gives the Gui Editor's current picture; when it
// is empty or returns a null image the panel is drawn afresh from the project.
void RunBuildDialog(QWidget* parent, AppContext& ctx, PanelCapture capturePanel);

} // namespace tw
