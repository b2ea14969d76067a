#include "texts/FormTexts.h"

#include <array>

namespace kx4 {

namespace {

using enum TextProperty;

constexpr std::array kTabellenForm = {
    FormText{"AddFeldBtn", Hint, 65124},    FormText{"DruckBtn", Hint, 65147},
    FormText{"EndeBtn", Hint, 65146},       FormText{"IdxDefineBtn", Hint, 65149},
    FormText{"IdxDelBtn", Hint, 65150},     FormText{"NeuTable", Hint, 65123},
    FormText{"TabString", Caption, 65145},  FormText{"TablePage", Caption, 65167},
    FormText{kWholeWindow, Caption, 65138}, FormText{"IndexReorgBtn", Hint, 65132},
    FormText{"DataPage", Caption, 65205},   FormText{"OrderLabel", Caption, 65206},
};

constexpr std::array kDefineForm = {
    FormText{"Einfgen1", Caption, 65142},     FormText{"Grsse1", Caption, 65141},
    FormText{"Zurcksetzen1", Caption, 65143}, FormText{"Zurcksetzen2", Caption, 65143},
    FormText{"Zurcksetzen3", Caption, 65143}, FormText{"EndeBtn", Hint, 65146},
    FormText{"SaveBtn", Hint, 65126},         FormText{"Panel3", Caption, 65144},
    FormText{"Panel4", Caption, 65127},       FormText{"Label4", Caption, 65122},
    FormText{"Label5", Caption, 65164},       FormText{"Label6", Caption, 65125},
    FormText{"OKBtn", Caption, 65139},        FormText{"Label1", Caption, 65148},
    FormText{"Label2", Caption, 65164},       FormText{"Label3", Caption, 65125},
    FormText{kWholeWindow, Caption, 65137},
};

constexpr std::array kTabTyp = {
    FormText{"IndexLabel", Caption, 65120}, FormText{"Label2", Caption, 65128},
    FormText{"Label3", Caption, 65151},     FormText{"CancelBtn", Caption, 65140},
    FormText{"OKBtn", Caption, 65139},      FormText{"Label1", Caption, 65121},
    FormText{kWholeWindow, Caption, 65136},
};

}  // namespace

std::span<const FormText> tabellenFormTexts() { return kTabellenForm; }
std::span<const FormText> defineFormTexts() { return kDefineForm; }
std::span<const FormText> tabTypTexts() { return kTabTyp; }
std::span<const FormText> changeFeldTypFormTexts() { return {}; }

}  // namespace kx4
