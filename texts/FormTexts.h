#pragma once
// Which texts each window takes from the text catalogue when the user's language is not German.
// Each window applies its own table, in the order given, from its LadeSprache.
#include <span>

namespace kx4 {

enum class TextProperty { Caption, Hint };

struct FormText {
    const char* control;  // object name of the control; kWholeWindow for the window itself
    TextProperty property;
    int entry;  // catalogue number
};

inline constexpr const char* kWholeWindow = "";

std::span<const FormText> tabellenFormTexts();       // main window TTabellenForm
std::span<const FormText> defineFormTexts();         // table definition window TDefineForm
std::span<const FormText> tabTypTexts();             // values dialog TTabTyp
std::span<const FormText> changeFeldTypFormTexts();  // change-field-type dialog: none

}  // namespace kx4
