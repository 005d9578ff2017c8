#include "app/preferences_dialog.h"

#include "app/app_context.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

namespace tw {

PreferencesDialog::PreferencesDialog(QWidget* parent, AppContext& ctx)
    : QDialog(parent), ctx_(ctx) {
    setWindowTitle(QStringLiteral("Preferences"));
}

void PreferencesDialog::AudioChosen(int) {}
void PreferencesDialog::RateChosen(int) {}
void PreferencesDialog::MidiChosen(int) {}
void PreferencesDialog::Browse() {}
void PreferencesDialog::Save() {}

int RunPreferencesDialog(QWidget* parent, AppContext& ctx) {
    PreferencesDialog dialog(parent, ctx);
    dialog.exec();
    return dialog.result();
}

} // namespace tw
