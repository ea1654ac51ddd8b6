#pragma once

namespace brimlet {

// Starts the program in the current directory and runs it to its end.
int runBrimlet(int argc, char** argv);

}  // namespace brimlet
