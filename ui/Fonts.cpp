#include "ui/Fonts.h"

namespace kx4 {

QFont arialBold(int points) {
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(points);
    font.setBold(true);
    return font;
}

}  // namespace kx4
