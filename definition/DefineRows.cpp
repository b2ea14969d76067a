// Editing the definition rows: the entry editor, the letter menu and the list menus.
#include "definition/DefineForm.h"
#include "definition/RowLists.h"
#include "texts/TextCatalogue.h"
#include "ui/Convert.h"
#include "ui/Prompts.h"

namespace kx4 {

namespace {

constexpr int kTextOnlyNumbers = 65160;  // "Wert darf nur Zahlen enthalten!"

// Letters a-z become A-Z; every other character stays as it is.
QString asciiUpper(const QString& text) {
    QString upper = text;
    for (QChar& c : upper) {
        if (c >= u'a' && c <= u'z') c = QChar(c.unicode() - u'a' + u'A');
    }
    return upper;
}

bool isEmptyOrWholeNumber(const QString& text) { return text.isEmpty() || TryStrToInt(text); }

}  // namespace

void TDefineForm::Einfgen1Click() {
    NeuPanel->show();
    NeuPanel->raise();
    SaveBtn->setEnabled(false);
    EndeBtn->setEnabled(false);
    NameEdit->setFocus();
}

void TDefineForm::TypEditChange() {
    const QString upper = asciiUpper(TypEdit->text());
    if (upper == TypEdit->text()) return;
    const int cursor = TypEdit->cursorPosition();
    TypEdit->setText(upper);
    TypEdit->setCursorPosition(cursor);
}

// While the entry editor is open the letter is its type; otherwise it becomes a new entry of
// the type list alone.
void TDefineForm::chooseLetter(const QString& letter) {
    if (!NeuPanel->isHidden()) {
        TypEdit->setText(letter);
    } else {
        appendEntry(*TypListe, letter);
    }
}

void TDefineForm::A1Click() { chooseLetter(QStringLiteral("A")); }
void TDefineForm::S1Click() { chooseLetter(QStringLiteral("S")); }
void TDefineForm::I1Click() { chooseLetter(QStringLiteral("I")); }
void TDefineForm::L1Click() { chooseLetter(QStringLiteral("L")); }
void TDefineForm::D1Click() { chooseLetter(QStringLiteral("D")); }
void TDefineForm::N1Click() { chooseLetter(QStringLiteral("$")); }
void TDefineForm::M1Click() { chooseLetter(QStringLiteral("M")); }

void TDefineForm::OKBtnClick() {
    TypEdit->setText(asciiUpper(TypEdit->text()));
    if (!isEmptyOrWholeNumber(SizeEdit->text())) {
        MessageDlg(CatalogueText(kTextOnlyNumbers) + QStringLiteral(" (Size)"),
                   TMsgDlgType::mtError, mbOK);
        return;
    }
    NeuPanel->hide();
    SaveBtn->setEnabled(true);
    EndeBtn->setEnabled(true);
    if (NameEdit->text().isEmpty()) return;
    appendEntry(*FelderListe, NameEdit->text());
    appendEntry(*TypListe, TypEdit->text());
    appendEntry(*SizeListe, SizeEdit->text());
}

void TDefineForm::Grsse1Click() {
    QString size;
    if (!InputQuery(QStringLiteral("Grösse festlegen"), QStringLiteral("Grösse:"), size)) return;
    if (!isEmptyOrWholeNumber(size)) return;
    appendEntry(*SizeListe, size);
}

void TDefineForm::Zurcksetzen1Click() {
    FelderListe->clear();
    TypListe->clear();
    SizeListe->clear();
}

void TDefineForm::Zurcksetzen2Click() { TypListe->clear(); }

void TDefineForm::Zurcksetzen3Click() { SizeListe->clear(); }

}  // namespace kx4
