// SPDX-License-Identifier: GPL-3.0-or-later
// The presets page's controls at their places, with their events bound.
#include "gui/Accessibility.h"
#include "gui/Guarded.h"
#include "gui/Skin.h"
#include "gui/Widgets.h"
#include "gui/pages/PresetsPage.h"
#include "presets/Presets.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

using namespace tfs;

PresetsPage::PresetsPage(QWidget* parent, ReportDialog& reportDialog, FileOpenDialog& sourceDialog,
                         FolderBrowser& folderBrowser)
    : OperationPage(QStringLiteral("Presets"), parent), reportDialog_(reportDialog),
      sourceDialog_(sourceDialog), folderBrowser_(folderBrowser) {
    setObjectName(QStringLiteral("presetsPanel"));
    setGeometry(7, 5, 320, 320);
    setFlat(false);
    QGroupBox* p = this;
    struct Row {
        PictureButton** button;
        const char* name;
        int x, y;
        void (PresetsPage::*click)();
    };
    const Row rows[] = {
        {&floppy12Button, "floppy12Button", 6, 13, &PresetsPage::runFloppy12Preset},
        {&floppy144Button, "floppy144Button", 71, 14, &PresetsPage::runFloppy144Preset},
        {&floppy288Button, "floppy288Button", 136, 13, &PresetsPage::runFloppy288Preset},
        {&zip100Button, "zip100Button", 201, 13, &PresetsPage::runZip100Preset},
        {&zip250Button, "zip250Button", 266, 13, &PresetsPage::runZip250Preset},
        {&cd650Button, "cd650Button", 38, 71, &PresetsPage::runCd650Preset},
        {&cd700Button, "cd700Button", 104, 71, &PresetsPage::runCd700Preset},
        {&cd800Button, "cd800Button", 171, 71, &PresetsPage::runCd800Preset},
        {&dvdButton, "dvdButton", 238, 71, &PresetsPage::runDvdPreset},
        {&fat32Button, "fat32Button", 136, 126, &PresetsPage::runFat32Preset},
    };
    // The rows follow the preset table's order, which gives the captions.
    for (int i = 0; i < int(std::size(rows)); ++i) {
        const Row& r = rows[i];
        PictureButton* b = skin::pictureButton(p, r.name, ":/art/floppy.svg", r.x, r.y, 50, 50);
        b->setText(mediaPresets().at(i).caption);
        // "800MB" is the one caption that isn't bold.
        b->setCaptionFont(skin::windowFont(qstrcmp(r.name, "cd800Button") != 0), Qt::white);
        *r.button = b;
        bindGuarded(b, &QAbstractButton::clicked, this, r.click);
        connect(b, &PictureButton::entered, this,
                [this, b] { runGuarded([this, b] { outlinePreset(b); }); });
        bindGuarded(b, &PictureButton::left, this, &PresetsPage::hidePresetOutline);
    }
    fat32Label = skin::label(
        p, "fat32Label", QStringLiteral("The Largest File that You can Create on Fat32"), 53, 177);
    QFont italic = skin::windowFont();
    italic.setItalic(true);
    fat32Label->setProperty("italic", true); // kept when the style sheet polishes the label
    fat32Label->setFont(italic);
    fat32Label->resize(246, 13);
    presetsDestinationPicture =
        skin::picture(p, "presetsDestinationPicture", ":/art/folder.svg", 142, 204, 35, 37);
    presetsDestinationPicture->setCursor(Qt::PointingHandCursor);
    recovery = placeRecoverySetting(p, "presetsRecoveryBox", QRect(8, 205, 100, 19),
                                    "presetsRecoveryPercentField", 26, 225);
    presetOutline = new ShapeOutline(p, QColor(255, 255, 190));
    presetOutline->setObjectName(QStringLiteral("presetOutline"));
    presetOutline->setGeometry(261, 197, 37, 33);
    presetOutline->hide();
    presetsGauge = skin::gauge(p, "presetsGauge", 3, 250, 313, 25, QColor(128, 0, 0));
    presetsHint = skin::hintLabel(
        p, "presetsHint", QStringLiteral("            Presets for some frequently used media"), 4,
        255, 310, 14);
    presetsMainButton =
        skin::button(p, "presetsMainButton", QStringLiteral("Main"), 9, 288, 85, 25);
    presetsCancelButton =
        skin::button(p, "presetsCancelButton", QStringLiteral("Cancel"), 224, 288, 85, 25);

    setAccessibleNames(
        {{presetsDestinationPicture, "Destination Folder"}, {presetsGauge, "Presets"}});

    bindGuarded(presetsDestinationPicture, &ClickLabel::clicked, this,
                &PresetsPage::openPresetsDestination);
    bindGuarded(presetsDestinationPicture, &ClickLabel::pressed, this,
                &PresetsPage::pressPresetsDestinationPicture);
    bindGuarded(presetsDestinationPicture, &ClickLabel::released, this,
                &PresetsPage::releasePresetsDestinationPicture);
    connect(presetsMainButton, &QPushButton::clicked, this, &PresetsPage::startPageRequested);
    bindGuarded(presetsCancelButton, &QPushButton::clicked, this, &PresetsPage::cancelOrUndoPreset);

    const QList<QWidget*> order{presetsMainButton, presetsCancelButton,  floppy144Button,
                                zip100Button,      zip250Button,         dvdButton,
                                fat32Button,       cd700Button,          cd650Button,
                                floppy12Button,    floppy288Button,      cd800Button,
                                recovery.box,      recovery.percentField};
    for (int i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}
