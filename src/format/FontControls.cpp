// The text viewer's font, from the combo boxes and the "Font" menu.

#include "ui/Form1.h"

namespace brimlet {

void Form1::Combo1_Click() {}
void Form1::Combo2_Click() {}
void Form1::Combo3_Click() {}
void Form1::Combo4_Click() {}
void Form1::amprog_Click() {}
void Form1::adfda_Click() {}
void Form1::msssan_Click() {}
void Form1::adsdf_Click() {}
void Form1::eight_Click() {}
void Form1::ten_Click() {}
void Form1::twe_Click() {}
void Form1::fourte_Click() {}
void Form1::eighteren_Click() {}
void Form1::twetny_Click() {}
void Form1::reg_Click() {}
void Form1::bold_Click() {}
void Form1::itvs_Click() {}
void Form1::blk_Click() {}
void Form1::blue_Click() {}
void Form1::redf_Click() {}

}  // namespace brimlet
