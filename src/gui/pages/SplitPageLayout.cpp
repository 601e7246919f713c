// SPDX-License-Identifier: GPL-3.0-or-later
// The split page's controls at their places, with their events bound.
#include "gui/Accessibility.h"
#include "gui/Guarded.h"
#include "gui/Skin.h"
#include "gui/Widgets.h"
#include "gui/pages/SplitPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QSpinBox>

SplitPage::SplitPage(QWidget* parent, ReportDialog& reportDialog, FileOpenDialog& sourceDialog,
                     FolderBrowser& folderBrowser)
    : OperationPage(QStringLiteral("Split Files"), parent), reportDialog_(reportDialog),
      sourceDialog_(sourceDialog), folderBrowser_(folderBrowser) {
    setObjectName(QStringLiteral("splitPanel"));
    setGeometry(7, 5, 320, 320);
    setFlat(false);
    QGroupBox* p = this;
    loadSourceButton =
        skin::button(p, "loadSourceButton", QStringLiteral("Load  File"), 4, 15, 92, 33);
    convertedSizeLabel =
        skin::label(p, "convertedSizeLabel", QStringLiteral("Converted File Size"), 170, 8, true);
    convertedSizeList = skin::memo(p, "convertedSizeList", 136, 21, 179, 71);
    sourceSizeLabel = skin::label(p, "sourceSizeLabel", QStringLiteral("FIle Size"), 7, 53, true);
    sourceSizeField = skin::field(p, "sourceSizeField", 4, 72, 121, 19, true);
    partSizeLabel = skin::label(p, "partSizeLabel", QStringLiteral("Part size"), 7, 94, true);
    unitLabel = skin::label(p, "unitLabel", QStringLiteral("Units"), 100, 94, true);
    partCountLabel = skin::label(p, "partCountLabel", QStringLiteral("For Output"), 227, 94, true);
    partSizeField = skin::field(p, "partSizeField", 4, 108, 93, 23, false);
    unitBox = skin::selector(p, "unitBox", 99, 109, 122, 21);
    unitBox->setEditable(true);
    unitBox->setInsertPolicy(QComboBox::NoInsert);
    unitBox->addItems({QStringLiteral("Bytes"), QStringLiteral("Kilobytes"),
                       QStringLiteral("Megabytes"), QStringLiteral("Gigabytes")});
    unitBox->setCurrentIndex(2);
    partCountField = skin::field(p, "partCountField", 224, 108, 93, 23, true);
    splitButton = skin::button(p, "splitButton", QStringLiteral("Split"), 4, 134, 92, 33);
    // Between the Units box and the Source caption, 3 pixels from each, as
    // the page's other groups stand apart.
    recovery = placeRecoverySetting(p, "recoveryBox", QRect(102, 133, 100, 17),
                                    "recoveryPercentField", 224, 134);
    sourcePathLabel = skin::label(p, "sourcePathLabel", QStringLiteral("Source"), 131, 153, true);
    sourcePathField = skin::field(p, "sourcePathField", 5, 171, 311, 21, true);
    destinationButton =
        skin::button(p, "destinationButton", QStringLiteral(" Destination"), 4, 196, 92, 33);
    destinationLabel =
        skin::label(p, "destinationLabel", QStringLiteral("Destination Folder  "), 109, 213, true);
    destinationLabel->setCursor(Qt::PointingHandCursor);
    destinationPicture =
        skin::picture(p, "destinationPicture", ":/art/folder.svg", 275, 195, 31, 35);
    destinationPicture->setCursor(Qt::PointingHandCursor);
    destinationField = skin::field(p, "destinationField", 6, 233, 310, 21, true);
    splitGauge = skin::gauge(p, "splitGauge", 6, 258, 310, 25, QColor(128, 0, 0));
    splitHint = skin::hintLabel(
        p, "splitHint", QStringLiteral("             Click Load File to choose file to be split"),
        8, 263, 306, 14);
    splitMainButton = skin::button(p, "splitMainButton", QStringLiteral("Main"), 6, 288, 85, 25);
    splitCancelButton =
        skin::button(p, "splitCancelButton", QStringLiteral("Cancel"), 227, 288, 85, 25);

    // The fields are named by their captions, the folder picture by its label.
    setAccessibleNames({{sourceSizeField, "FIle Size"},
                        {partSizeField, "Part size"},
                        {unitBox, "Units"},
                        {partCountField, "For Output"},
                        {sourcePathField, "Source"},
                        {destinationField, "Destination Folder"},
                        {destinationPicture, "Destination Folder"},
                        {splitGauge, "Split Files"}});
    unitBox->lineEdit()->setAccessibleName(QStringLiteral("Units"));

    // partSizeField offers no context menu: its menu has no items.
    partSizeMenu = new QMenu(this);
    partSizeMenu->setObjectName(QStringLiteral("partSizeMenu"));
    partSizeField->setContextMenuPolicy(Qt::CustomContextMenu);
    partSizeField->setAcceptDrops(false);
    partSizeField->setAttribute(Qt::WA_InputMethodEnabled, false); // digits come from the keys only
    connect(partSizeField, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (!partSizeMenu->isEmpty()) partSizeMenu->popup(partSizeField->mapToGlobal(at));
    });
    partSizeField->installEventFilter(this);
    unitBox->installEventFilter(this);
    if (unitBox->lineEdit()) unitBox->lineEdit()->installEventFilter(this);

    bindGuarded(loadSourceButton, &QPushButton::clicked, this, &SplitPage::chooseSource);
    bindGuarded(sourceSizeField, &QLineEdit::textChanged, this, &SplitPage::sourceSizeChanged);
    bindGuarded(partSizeField, &QLineEdit::textChanged, this, &SplitPage::partSizeChanged);
    bindGuarded(unitBox, &QComboBox::currentTextChanged, this, &SplitPage::unitChanged);
    bindGuarded(splitButton, &QPushButton::clicked, this, &SplitPage::startSplit);
    bindGuarded(sourcePathField, &QLineEdit::textChanged, this, &SplitPage::sourcePathChanged);
    bindGuarded(destinationButton, &QPushButton::clicked, this, &SplitPage::chooseDestination);
    bindGuarded(destinationPicture, &ClickLabel::clicked, this, &SplitPage::openDestination);
    bindGuarded(destinationPicture, &ClickLabel::pressed, this,
                &SplitPage::pressDestinationPicture);
    bindGuarded(destinationPicture, &ClickLabel::released, this,
                &SplitPage::releaseDestinationPicture);
    bindGuarded(destinationField, &QLineEdit::textChanged, this, &SplitPage::destinationChanged);
    connect(splitMainButton, &QPushButton::clicked, this, &SplitPage::startPageRequested);
    bindGuarded(splitCancelButton, &QPushButton::clicked, this, &SplitPage::cancelOrUndo);

    const QList<QWidget*> order{
        sourceSizeField,   partCountField,   unitBox,          partSizeField, sourcePathField,
        destinationField,  loadSourceButton, splitButton,      recovery.box,  recovery.percentField,
        destinationButton, splitMainButton,  splitCancelButton};
    for (int i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
    settleFields();
}

// Key filters of the part-size field and the unit box: a key that a handler
// discards never reaches the control. Tab, Backtab and Delete type no character
// and work as usual.
// partSizeField takes no paste by mouse either (the middle button pastes the selection).
bool SplitPage::eventFilter(QObject* watched, QEvent* e) {
    if (watched == partSizeField &&
        (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonRelease ||
         e->type() == QEvent::MouseButtonDblClick) &&
        static_cast<QMouseEvent*>(e)->button() == Qt::MiddleButton)
        return true;
    if (e->type() != QEvent::KeyPress) return QGroupBox::eventFilter(watched, e);
    auto* key = static_cast<QKeyEvent*>(e);
    if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab || key->key() == Qt::Key_Delete)
        return QGroupBox::eventFilter(watched, e);
    const QString text = key->text();
    bool pass = true;
    if (watched == partSizeField) {
        runGuarded([&] { pass = partSizeKeyDownAllowed(key); });
        if (pass && !text.isEmpty()) runGuarded([&] { pass = partSizeKeyAllowed(text.at(0)); });
    } else if (watched == unitBox || watched == unitBox->lineEdit()) {
        if (!text.isEmpty()) runGuarded([&] { pass = unitKeyAllowed(text.at(0)); });
    }
    return pass ? QGroupBox::eventFilter(watched, e) : true;
}
