// ini_write_tool FILE SECTION KEY VALUE: one write, as the options dialog makes it.
// Exit 0 when written, 1 with the refusal's message otherwise. Tests run it as an
// unprivileged user to see what the file's and folder's permissions allow.
#include "base/errors.h"
#include "settings/inifile.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 5)
        return 2;
    try {
        kelvora::TIniFile(argv[1]).WriteString(argv[2], argv[3], argv[4]);
    } catch (const kelvora::Exception& e) {
        std::fputs(e.what(), stdout);
        return 1;
    }
    return 0;
}
