#include "common/PanelDriver.h"

#include "app/TForm1.h"
#include "app/Widgets.h"
#include "common/UiHarness.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace testutil {

void loadSource(Ui& ui, const QString& source) {
    ui.fileAnswers << source;
    click(ui.form->BitBtn1);
}

void prepareSplit(Ui& ui, const QString& source, int unit, const QString& partSize,
                  const QString& dest) {
    TForm1* f = ui.form.get();
    loadSource(ui, source);
    f->ComboBox1->setCurrentIndex(unit);
    QTest::keyClicks(f->Edit2, partSize);
    if (!dest.isEmpty()) {
        ui.folderAnswers << dest;
        click(f->BitBtn7);
    }
}

QList<bool> navigation(TForm1* f) {
    return {f->BitBtn1->isEnabled(), f->BitBtn6->isEnabled(), f->BitBtn7->isEnabled(),
            f->BitBtn10->isEnabled()};
}

void loadPart(Ui& ui, const QString& chosen, const QString& dest) {
    ui.fileAnswers << chosen;
    click(ui.form->suiImageButton10);
    if (!dest.isEmpty()) {
        ui.folderAnswers << dest;
        click(ui.form->suiImageButton12);
    }
}

} // namespace testutil
