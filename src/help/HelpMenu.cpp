// The "Help" and "Donate" menus.

#include "ui/Form1.h"

namespace brimlet {

void Form1::ab_Click() {}
void Form1::inst_Click() {}
void Form1::cus_Click() {}
void Form1::doll_Click() {}
void Form1::twodol_Click() {}
void Form1::threedol_Click() {}

}  // namespace brimlet
