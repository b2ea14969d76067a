#include "texts/TextCatalogue.h"

#include <QFile>
#include <QStringList>
#include <utility>

namespace kx4 {

namespace {

// Entry 65145 names a table file of the host database; it stands in the chosen-table label
// until a table is picked.
const std::map<int, QString>& builtInEntries() {
    static const std::map<int, QString> entries = {
        {65120, QStringLiteral("Index-Name: ")},
        {65121, QStringLiteral("Index-Typ festlegen:")},
        {65122, QStringLiteral("Name")},
        {65123, QStringLiteral("neue Tabelle anlegen")},
        {65124, QStringLiteral("neues Feld definieren")},
        {65125, QStringLiteral("Size")},
        {65126, QStringLiteral("Speichern")},
        {65127, QStringLiteral("Tabelle: ")},
        {65128, QStringLiteral("Tabellen-Name: ")},
        {65129, QStringLiteral("Die Tabelle existiert bereits!")},
        {65130, QStringLiteral("Wollen Sie die Tabelle überschreiben?")},
        {65131, QStringLiteral("(Alle Daten der Tabelle gehen dabei verloren!)")},
        {65132, QStringLiteral("Index reorganisieren")},
        {65133, QStringLiteral("Tabelle erfolgreich komprimiert!")},
        {65136, QStringLiteral("Werte angeben")},
        {65137, QStringLiteral("Tabelle definieren")},
        {65138, QStringLiteral("KX4 Tabellen-Info")},
        {65139, QStringLiteral(" &OK")},
        {65140, QStringLiteral("&Cancel")},
        {65141, QStringLiteral("&Grösse")},
        {65142, QStringLiteral("&Neues Feld")},
        {65143, QStringLiteral("&Zurücksetzen")},
        {65144, QStringLiteral("Alias:")},
        {65145, QStringLiteral("KUNDEN.DB")},
        {65146, QStringLiteral("Beenden")},
        {65147, QStringLiteral("Drucken")},
        {65148, QStringLiteral("Feldnamen")},
        {65149, QStringLiteral("Index definieren")},
        {65150, QStringLiteral("Index löschen")},
        {65151, QStringLiteral("Index-Feld-Namen:")},
        {65154, QStringLiteral("ALIAS muss angegeben werden!")},
        {65155, QStringLiteral("Tabelle muss angegeben werden!")},
        {65156, QStringLiteral("Feld muss angegeben werden!")},
        {65157, QStringLiteral("Ungültiger Typ angegeben: ")},
        {65160, QStringLiteral("Wert darf nur Zahlen enthalten!")},
        {65161, QStringLiteral("Tabelle \"")},
        {65162,
         QStringLiteral("\" konnte nicht exclusiv geöffnet werden - OK zu weiterem Versuch?")},
        {65163, QStringLiteral("Feldname")},
        {65164, QStringLiteral("Typ")},
        {65165, QStringLiteral("Grösse")},
        {65166, QStringLiteral("Fertig!")},
        {65167, QStringLiteral("Tabellen")},
        // The progress of long work in the wait panel; the program's own texts start at 65200.
        {65200, QStringLiteral("Abbrechen")},
        {65201, QStringLiteral("Datensätze")},
        {65202, QStringLiteral("Index %1")},
        {65203, QStringLiteral("Memos")},
        {65204, QStringLiteral("(Tabelle wird umstrukturiert)")},
        // The data page and the export into SQLite.
        {65205, QStringLiteral("Daten")},
        {65206, QStringLiteral("Reihenfolge:")},
        {65207, QStringLiteral("Physische Reihenfolge")},
        {65208, QStringLiteral("Primärindex")},
        {65209, QStringLiteral("%1 Datensätze")},
        {65210, QStringLiteral("Exportieren nach SQLite…")},
        {65211, QStringLiteral("SQLite-Datenbank:")},
        {65212, QStringLiteral("%1 Datensätze nach %2 exportiert.")},
        {65213, QStringLiteral("gelöscht")},
        {65214, QStringLiteral("kein Wert")},
        {65215, QStringLiteral("Binärdaten, %1 Bytes")},
        {65216, QStringLiteral("(Tabelle wird exportiert)")},
    };
    return entries;
}

TextCatalogue& installedCatalogue() {
    static TextCatalogue catalogue = TextCatalogue::builtIn();
    return catalogue;
}

}  // namespace

TextCatalogue TextCatalogue::builtIn() {
    TextCatalogue catalogue;
    catalogue.entries_ = builtInEntries();
    return catalogue;
}

TextCatalogue TextCatalogue::parseModule(const QString& content) {
    TextCatalogue catalogue;
    catalogue.module_ = true;
    QString text = content;
    if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
    for (QString line : text.split(u'\n')) {
        if (line.endsWith(u'\r')) line.chop(1);
        if (line.isEmpty() || line.startsWith(u'#')) continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0) continue;
        bool isNumber = false;
        const int id = line.left(equals).trimmed().toInt(&isNumber);
        if (!isNumber) continue;
        catalogue.entries_[id] = line.mid(equals + 1).left(kMaxTextLength);
    }
    return catalogue;
}

std::optional<TextCatalogue> TextCatalogue::readModule(const QString& path) {
    QFile file(path);
    if (!file.exists() || file.size() > kMaxModuleBytes || !file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    TextCatalogue catalogue = parseModule(QString::fromUtf8(file.read(kMaxModuleBytes)));
    catalogue.source_ = path;
    return catalogue;
}

TextCatalogue TextCatalogue::forProgram(const QString& programPath, const QString& abbreviation) {
    if (abbreviation.trimmed().isEmpty()) return builtIn();
    for (const QString& extension : {abbreviation, abbreviation.left(2)}) {
        if (auto module = readModule(programPath + u'.' + extension)) return std::move(*module);
    }
    return builtIn();
}

QString TextCatalogue::text(int id) const {
    const auto it = entries_.find(id);
    return it == entries_.end() ? QString() : it->second;
}

const TextCatalogue& textCatalogue() { return installedCatalogue(); }

void installTextCatalogue(TextCatalogue catalogue) { installedCatalogue() = std::move(catalogue); }

QString CatalogueText(int id) { return textCatalogue().text(id); }

}  // namespace kx4
