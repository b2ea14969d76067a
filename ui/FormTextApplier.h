#pragma once
// Applies a window's text table (FormTexts.h) from the text catalogue: a window's LadeSprache.
#include <QWidget>
#include <span>

#include "texts/FormTexts.h"
#include "texts/Sprache.h"

namespace kx4 {

// Sets each listed caption or hint of `window` to its catalogue entry, in table order. A control
// name the window lacks raises std::logic_error: the table and the window are out of step.
void applyFormTexts(QWidget& window, std::span<const FormText> texts);

// The language rule every window's creation runs: a window loads its catalogue texts
// (LadeSprache) when the user's language is not German.
inline bool usesCatalogueTexts() { return GetSprache() != kLanguageGerman; }

}  // namespace kx4
