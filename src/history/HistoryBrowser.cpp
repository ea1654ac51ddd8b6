// The history lists and viewers, copying back and deleting.

#include "ui/Form1.h"

namespace brimlet {

void Form1::File1_Click() {}
void Form1::File2_Click() {}
void Form1::Command1_Click() {}
void Form1::im_Click() {}
void Form1::Command3_Click() {}
void Form1::tx_Click() {}
void Form1::Command2_Click() {}
void Form1::dlim_Click() {}
void Form1::Command4_Click() {}
void Form1::deltext_Click() {}

}  // namespace brimlet
