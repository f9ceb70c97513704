#include "companion/Companion.h"

int main(int argc, char* argv[]) {
    runCompanion(argc, argv);
}
