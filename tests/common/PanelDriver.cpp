#include "common/PanelDriver.h"

#include "common/UiHarness.h"
#include "gui/MainWindow.h"
#include "gui/Widgets.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace testutil {

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

} // namespace testutil
