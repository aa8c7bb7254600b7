// An executable whose version information lists no string table.
#include "app/version_note.h"

KELVORA_VERSION_NOTE("041103A4\\ProductName=Fixture\n041103A4\\ProductVersion=9\n");

int main() {
    return 0;
}
