// The split panel's handlers (to be written).
#include "app/TForm1.h"

void TForm1::suiImageButton3Click() {}
void TForm1::BitBtn10Click() {}
void TForm1::splitPanelStartup() {}
void TForm1::splitPanelCloseStep() {}
void TForm1::BitBtn1Click() {}
void TForm1::ComboBox1Change() {}
bool TForm1::ComboBox1KeyPress(QChar) { return true; }
void TForm1::Edit1Change() {}
bool TForm1::Edit2KeyPress(QChar) { return true; }
bool TForm1::Edit2KeyDown(QKeyEvent*) { return true; }
void TForm1::Edit2Change() {}
qint64 TForm1::kolikoizlaznihfajlova() { return 0; }
void TForm1::konverzijaBKMG() {}
void TForm1::BitBtn7Click() {}
void TForm1::Edit3Change() {}
void TForm1::Edit4Change() {}
void TForm1::Image5Click() {}
void TForm1::Image5MouseDown() {}
void TForm1::Image5MouseUp() {}
void TForm1::OpenDialog1Close() {}
void TForm1::JamBfF1Close() {}
void TForm1::BitBtn6Click() {}
void TForm1::BitBtn9Click() {}
void TForm1::sstfdisabled() {}
void TForm1::sstfenabled() {}
