// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/PanelDriver.h"

#include "common/UiHarness.h"
#include "gui/MainWindow.h"
#include "gui/Widgets.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>

namespace testutil {

QList<QGroupBox*> pages(MainWindow* f) {
    return {f->startPanel,   f->splitPanel,   f->joinPanel,
            f->comparePanel, f->presetsPanel, f->aboutPanel};
}

QGroupBox* openPage(MainWindow* f, int page) {
    const QList<QAbstractButton*> openers{nullptr,
                                          f->startPanel->splitPageButton,
                                          f->startPanel->joinPageButton,
                                          f->startPanel->comparePageButton,
                                          f->startPanel->presetsPageButton,
                                          f->startPanel->aboutPageButton};
    if (QAbstractButton* opener = openers.at(page - 1)) click(opener);
    return pages(f).at(page - 1);
}

int shownPage(MainWindow* f) {
    const QList<QGroupBox*> all = pages(f);
    for (int i = all.size() - 1; i >= 0; --i)
        if (all[i]->isVisible()) return i + 1;
    return 0;
}

void loadSource(Ui& ui, const QString& source) {
    ui.fileAnswers << source;
    click(ui.form->splitPanel->loadSourceButton);
}

void prepareSplit(Ui& ui, const QString& source, int unit, const QString& partSize,
                  const QString& dest) {
    MainWindow* f = ui.form.get();
    loadSource(ui, source);
    f->splitPanel->unitBox->setCurrentIndex(unit);
    QTest::keyClicks(f->splitPanel->partSizeField, partSize);
    if (!dest.isEmpty()) {
        ui.folderAnswers << dest;
        click(f->splitPanel->destinationButton);
    }
}

QList<bool> navigation(MainWindow* f) {
    return {f->splitPanel->loadSourceButton->isEnabled(), f->splitPanel->splitButton->isEnabled(),
            f->splitPanel->destinationButton->isEnabled(),
            f->splitPanel->splitMainButton->isEnabled()};
}

void loadPart(Ui& ui, const QString& chosen, const QString& dest) {
    ui.fileAnswers << chosen;
    click(ui.form->joinPanel->loadPartButton);
    if (!dest.isEmpty()) {
        ui.folderAnswers << dest;
        click(ui.form->joinPanel->joinDestinationButton);
    }
}

void runPreset(Ui& ui, QWidget* button, const QString& source, const QString& dest) {
    ui.fileAnswers = {source};
    ui.folderAnswers = {dest};
    click(button);
}

QList<QWidget*> presetButtonsAndMain(MainWindow* f) {
    const PresetsPage* p = f->presetsPanel;
    return {p->floppy12Button, p->floppy144Button, p->floppy288Button,  p->zip100Button,
            p->zip250Button,   p->cd650Button,     p->cd700Button,      p->cd800Button,
            p->dvdButton,      p->fat32Button,     p->presetsMainButton};
}

bool allEnabled(const QList<QWidget*>& widgets) {
    return std::all_of(widgets.begin(), widgets.end(), [](QWidget* w) { return w->isEnabled(); });
}

} // namespace testutil
