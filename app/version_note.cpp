// The version information of the Kelvora programs (linked into each executable).
#include "app/version_note.h"

KELVORA_VERSION_NOTE("FixedFileVersion=4.0.0.0\n"
                     "FixedProductVersion=4.0.0.0\n"
                     "Translation=041103A4\n"
                     "041103A4\\Comments=\n"
                     "041103A4\\CompanyName=Brenwick\n"
                     "041103A4\\FileDescription=\n"
                     "041103A4\\FileVersion=4.0.0.0\n"
                     "041103A4\\InternalName=\n"
                     "041103A4\\LegalCopyright=\n"
                     "041103A4\\LegalTrademarks=\n"
                     "041103A4\\OriginalFilename=\n"
                     "041103A4\\PrivateBuild=\n"
                     "041103A4\\ProductName=Kelvora\n"
                     "041103A4\\ProductVersion=4.0.0 PreRelease\n"
                     "041103A4\\SpecialBuild=\n");
