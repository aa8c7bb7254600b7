// Shows the plug-in list window with the shipped plug-ins loaded, for the
// screenshot in the README (docs/make-plugin-list-screenshot.sh).
#include "app/startup.h"
#include "spi/decoder_process.h"
#include "spi/spis.h"
#include "spi/ui/plugin_list_window.h"
#include "ui/fonts.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    kelvora::applyInterfaceFont(app);
    kelvora::registerPictureFormats(32);
    kelvora::TSPIDecoderProcess::SetHelperPath(KELVORA_SPI_HELPER);
    kelvora::TSPIs spis;
    spis.Search(std::string(KELVORA_PLUGIN_DIR) + "/*.spi");
    kelvora::TForm2 form2(&spis);
    form2.show();
    form2.move(0, 0);
    return app.exec();
}
