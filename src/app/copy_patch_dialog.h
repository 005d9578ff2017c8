#pragma once

// The "Copy Patch" dialog: copies one patch's name and values onto another after the
// user confirms.
#include <QDialog>

class QComboBox;
class QPushButton;

namespace tw {

struct AppContext;

class CopyPatchDialog final : public QDialog {
    Q_OBJECT
public:
    CopyPatchDialog(QWidget* parent, AppContext& ctx);

    QComboBox* FromList() const { return fromList_; }
    QComboBox* ToList() const { return toList_; }
    QPushButton* OkButton() const { return okButton_; }
    QPushButton* CancelButton() const { return cancelButton_; }

private:
    void Confirm();

    AppContext& ctx_;
    QComboBox* fromList_ = nullptr;
    QComboBox* toList_ = nullptr;
    QPushButton* okButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
};

// Runs the dialog modally; true when a patch was copied.
bool RunCopyPatchDialog(QWidget* parent, AppContext& ctx);

} // namespace tw
