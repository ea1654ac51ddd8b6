#include "app/Brimlet.h"

int main(int argc, char** argv) {
    return brimlet::runBrimlet(argc, argv);
}
