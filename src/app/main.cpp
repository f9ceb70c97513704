#include "app/ClientApplication.h"

int main(int argc, char* argv[]) {
    return runClientProgram(argc, argv);
}
