// KX4 Table Tool: maintenance of the host database's Paradox and dBase tables.
#include "ErrorBox.h"
#include "StartUp.h"

int main(int argc, char** argv) {
    kx4::TApplication application(argc, argv);
    kx4::initialiseApplication();
    const auto TabellenForm = kx4::createStartUpWindows();
    TabellenForm->showMaximized();
    return application.exec();
}
