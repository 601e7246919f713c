// The presets panel's handlers (to be written).
#include "app/TForm1.h"

void TForm1::suiImageButton4Click() {}
void TForm1::BitBtn19Click() {}
void TForm1::presetsPanelCloseStep() {}
void TForm1::BitBtn23Click() {}
void TForm1::BitBtn15Click() {}
void TForm1::suiImageButton11Click() {}
void TForm1::BitBtn16Click() {}
void TForm1::suiImageButton6Click() {}
void TForm1::suiImageButton7Click() {}
void TForm1::BitBtn17Click() {}
void TForm1::suiImageButton13Click() {}
void TForm1::BitBtn18Click() {}
void TForm1::suiImageButton8Click() {}
void TForm1::standardniformati() {}
void TForm1::BitBtn20Click() {}
void TForm1::BitBtn23MouseEnter(QWidget*) {}
void TForm1::BitBtn23MouseExit() {}
void TForm1::Image7Click() {}
void TForm1::Image7MouseDown() {}
void TForm1::Image7MouseUp() {}
void TForm1::disabledpresets() {}
void TForm1::enablepresets() {}
void TForm1::presdisabled() {}
void TForm1::presenabled() {}
