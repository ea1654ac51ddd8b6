// Opening the Save As dialogs.

#include "ui/Form1.h"

namespace brimlet {

void Form1::savtexas_Click() {}
void Form1::saveia_Click() {}

}  // namespace brimlet
