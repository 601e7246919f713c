// The compare panel's handlers (to be written).
#include "app/TForm1.h"

void TForm1::suiImageButton2Click() {}
void TForm1::BitBtn13Click() {}
void TForm1::BitBtn3Click() {}
void TForm1::GetCheckSum1() {}
void TForm1::BitBtn21Click() {}
void TForm1::suiMemo1Change() {}
void TForm1::BitBtn4Click() {}
bool TForm1::comparefiles(const QString&, const QString&) { return true; }
void TForm1::BitBtn14Click() {}
void TForm1::suiMemo2Change() {}
