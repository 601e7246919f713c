// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/RecoverySetting.h"

#include "gui/Skin.h"

#include <QCheckBox>
#include <QSettings>
#include <QSignalBlocker>
#include <QSpinBox>

namespace {

const QString EnabledKey = QStringLiteral("split/recoveryData");
const QString PercentKey = QStringLiteral("split/recoveryPercent");
constexpr int DefaultPercent = 10;

void remember(const RecoverySetting& setting) {
    QSettings settings = programSettings();
    settings.setValue(EnabledKey, setting.box->isChecked());
    settings.setValue(PercentKey, setting.percentField->value());
}

} // namespace

QSettings programSettings() {
    return QSettings(QStringLiteral("tarvello-file-splitter"),
                     QStringLiteral("tarvello-file-splitter"));
}

int RecoverySetting::percent() const { return box->isChecked() ? percentField->value() : 0; }

RecoverySetting placeRecoverySetting(QWidget* page, const char* boxName, const QRect& boxPlace,
                                     const char* fieldName, int fieldX, int fieldY) {
    RecoverySetting setting;
    setting.box = new QCheckBox(QStringLiteral("Recovery data"), page);
    setting.box->setObjectName(QString::fromLatin1(boxName));
    setting.box->setGeometry(boxPlace);
    setting.box->setFont(skin::windowFont());
    setting.box->setCursor(Qt::PointingHandCursor);
    setting.box->setToolTip(QStringLiteral("PAR2 files beside the parts, from which lost or "
                                           "damaged parts can be rebuilt"));
    setting.percentField = new QSpinBox(page);
    setting.percentField->setObjectName(QString::fromLatin1(fieldName));
    setting.percentField->setGeometry(fieldX, fieldY, 60, 19);
    setting.percentField->setFont(skin::windowFont());
    setting.percentField->setRange(1, 100);
    setting.percentField->setSuffix(QStringLiteral(" %"));
    setting.percentField->setAccessibleName(QStringLiteral("Recovery data"));
    setting.percentField->setToolTip(
        QStringLiteral("How much of the set's size the recovery data covers: about as much of "
                       "the parts can be lost or damaged and rebuilt"));

    const QSettings settings = programSettings();
    setting.box->setChecked(settings.value(EnabledKey, false).toBool());
    const int percent = settings.value(PercentKey, DefaultPercent).toInt();
    setting.percentField->setValue(percent >= 1 && percent <= 100 ? percent : DefaultPercent);
    setting.percentField->setEnabled(setting.box->isChecked());

    QObject::connect(setting.box, &QCheckBox::toggled, page, [setting](bool checked) {
        setting.percentField->setEnabled(checked);
        remember(setting);
    });
    QObject::connect(setting.percentField, &QSpinBox::valueChanged, page,
                     [setting] { remember(setting); });
    return setting;
}

void shareRecoverySetting(const QList<RecoverySetting>& settings) {
    for (const RecoverySetting& from : settings) {
        const auto show = [from, settings] {
            for (const RecoverySetting& to : settings) {
                if (to.box == from.box) continue;
                const QSignalBlocker quietBox(to.box);
                const QSignalBlocker quietField(to.percentField);
                to.box->setChecked(from.box->isChecked());
                to.percentField->setValue(from.percentField->value());
                to.percentField->setEnabled(from.box->isChecked());
            }
        };
        QObject::connect(from.box, &QCheckBox::toggled, from.box, show);
        QObject::connect(from.percentField, &QSpinBox::valueChanged, from.percentField, show);
    }
}
