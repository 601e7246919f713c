// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/pages/OperationPage.h"

#include <QWidget>

OperationScope::OperationScope(OperationPage* page, const QList<QWidget*>& held)
    : page_(page), wasRunning_(page->running_), held_(held) {
    page_->running_ = true;
    emit page_->operationStarted();
    for (QWidget* control : held_) {
        heldEnabled_ << control->isEnabled();
        control->setEnabled(false);
    }
}

OperationScope::~OperationScope() {
    for (int i = 0; i < held_.size(); ++i)
        held_[i]->setEnabled(heldEnabled_[i]);
    page_->running_ = wasRunning_;
    emit page_->operationFinished();
}
