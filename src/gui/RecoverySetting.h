// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QRect>
#include <QSettings>

class QCheckBox;
class QSpinBox;
class QWidget;

// The recovery setting of a split: a check box "Recovery data" and the share
// of the set it covers, 1 to 100 % (10 % at first), off at first. The split
// and presets pages each show one; they are one setting, remembered between
// runs (QSettings: "split/recoveryData" and "split/recoveryPercent").
struct RecoverySetting {
    QCheckBox* box = nullptr;
    QSpinBox* percentField = nullptr;

    // The percentage a split asks for now: 0 when the box is not checked.
    int percent() const;
};

// The program's settings, in the user's configuration folder.
QSettings programSettings();

// Makes the two controls on `page`, each at its place (the field 60 by 19)
// and under its control name, showing the remembered setting; every change of
// them is remembered.
RecoverySetting placeRecoverySetting(QWidget* page, const char* boxName, const QRect& boxPlace,
                                     const char* fieldName, int fieldX, int fieldY);

// Makes the pages' controls one setting: a change on one shows on the others.
void shareRecoverySetting(const QList<RecoverySetting>& settings);
