// Velumbra: the census of a local public-transport company's structures.
#include "desktop/CensusApp.h"

int main(int argc, char* argv[]) {
    return desktop::CCensusApp::Run(argc, argv);
}
