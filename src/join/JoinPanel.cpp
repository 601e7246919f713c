// The join panel's handlers (to be written).
#include "app/TForm1.h"

void TForm1::suiImageButton1Click() {}
void TForm1::BitBtn11Click() {}
void TForm1::joinPanelCloseStep() {}
void TForm1::joinAbortReset() {}
void TForm1::suiImageButton10Click() {}
void TForm1::suiImageButton12Click() {}
void TForm1::BitBtn2Click() {}
void TForm1::BitBtn5Click() {}
void TForm1::BitBtn12Click() {}
void TForm1::BitBtn22Click() {}
void TForm1::suiImageButton5Click() {}
void TForm1::Image6Click() {}
void TForm1::Image6MouseDown() {}
void TForm1::Image6MouseUp() {}
void TForm1::Edit5Change() {}
void TForm1::Edit6Change() {}
void TForm1::joindisable() {}
void TForm1::joinenable() {}
void TForm1::joindisabled() {}
void TForm1::joinenabled() {}
void TForm1::Exticon() {}
