#include "app/program.h"

int main(int argc, char** argv) {
    return kelvora::RunKelvora(argc, argv);
}
