#include "app/copy_patch_dialog.h"

#include "app/app_context.h"
#include "model/lifecycle.h"
#include "model/text.h"
#include "paint/qt_bitmap.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

namespace tw {

CopyPatchDialog::CopyPatchDialog(QWidget* parent, AppContext& ctx) : QDialog(parent), ctx_(ctx) {
    setWindowTitle(QStringLiteral("Copy Patch"));
    setModal(true);
    setFixedSize(330, 212);

    auto* fromLabel = new QLabel(QStringLiteral("Copy From"), this);
    fromLabel->move(20, 10);
    fromList_ = new QComboBox(this);
    fromList_->setGeometry(20, 30, 270, fromList_->sizeHint().height());
    auto* toLabel = new QLabel(QStringLiteral("Copy To"), this);
    toLabel->move(20, 80);
    toList_ = new QComboBox(this);
    toList_->setGeometry(20, 100, 270, toList_->sizeHint().height());
    for (QComboBox* list : {fromList_, toList_}) {
        list->setMaxVisibleItems(12);
        for (int32_t p = 0; p < kPatchCount; ++p)
            list->addItem(TextOfBytes(GetText(ctx_.project.patchNames[p])));
        list->setCurrentIndex(ctx_.project.currentPatch);
    }

    okButton_ = new QPushButton(QStringLiteral("OK"), this);
    okButton_->setGeometry(145, 160, 61, 23);
    okButton_->setDefault(true);
    cancelButton_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton_->setGeometry(215, 160, 61, 23);
    connect(okButton_, &QPushButton::clicked, this, &CopyPatchDialog::Confirm);
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
}

void CopyPatchDialog::Confirm() {
    if (ConfirmAndCopyPatch(ctx_.project, ctx_.platform, fromList_->currentIndex(),
                            toList_->currentIndex()))
        accept();
}

bool RunCopyPatchDialog(QWidget* parent, AppContext& ctx) {
    CopyPatchDialog dialog(parent, ctx);
    return dialog.exec() == QDialog::Accepted;
}

} // namespace tw
