// KX4 Table Tool: maintenance of the host database's Paradox and dBase tables.
#include <iostream>
#include <optional>
#include <string_view>

#include "app/StartUp.h"
#include "ui/ErrorBox.h"

namespace {

constexpr char kUsage[] =
    "usage: kx4tabletool [Qt options such as -platform NAME]\n"
    "       kx4tabletool --help | --version\n"
    "Browse and maintain the Paradox and dBase tables of the engine's aliases.\n"
    "The aliases come from $KX4_ENGINE_CONFIG, otherwise $XDG_CONFIG_HOME/kx4/engine.ini.\n";

// Answered before any window system is needed, so that they work without a display.
std::optional<int> answerHelpOrVersion(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (arg == "--version") {
            std::cout << "kx4tabletool " << KX4_VERSION << '\n';
            return 0;
        }
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    if (const auto status = answerHelpOrVersion(argc, argv)) return *status;
    kx4::TApplication application(argc, argv);
    // Qt has taken its own options out of argv; the program itself takes none.
    if (argc > 1) {
        std::cerr << "kx4tabletool: unknown argument " << argv[1] << '\n' << kUsage;
        return 2;
    }
    kx4::initialiseApplication();
    const auto TabellenForm = kx4::createStartUpWindows();
    TabellenForm->showMaximized();
    return application.exec();
}
