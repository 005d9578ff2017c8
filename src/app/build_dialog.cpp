#include "app/build_dialog.h"

#include "app/app_context.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace tw {

BuildDialog::BuildDialog(QWidget* parent, AppContext& ctx, PanelCapture capturePanel)
    : QDialog(parent), ctx_(ctx), capturePanel_(std::move(capturePanel)) {
    setWindowTitle(QStringLiteral("Build Project"));
}

BuildDialog::~BuildDialog() = default;

void BuildDialog::Build() {}

void BuildDialog::done(int result) {
    QDialog::done(result);
}

void BuildDialog::AppendLine(const QString&) {}

void RunBuildDialog(QWidget* parent, AppContext& ctx, PanelCapture capturePanel) {
    BuildDialog dialog(parent, ctx, std::move(capturePanel));
    dialog.exec();
}

} // namespace tw
