// Prints the settings folder of a program that runs from the folder given, so that tests
// can ask as another user.
#include "base/program_folder.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    std::puts(kelvora::SettingsFolder(argv[1]).c_str());
    return 0;
}
