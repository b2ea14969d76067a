#pragma once
// The numbered text catalogue: built-in German texts, replaced as a whole by a language module
// when one is found beside the program.
//
// Language module: a UTF-8 text file named after the program with the language's three-letter
// abbreviation as extension (kx4tabletool.ENU), or else its first two letters (kx4tabletool.EN).
// One entry per line, "NUMBER=text"; the text runs to the end of the line exactly as written
// (blanks included). Empty lines and lines starting with "#" are ignored, as are lines without a
// number before "=". When a module is loaded, an entry it lacks reads as empty text.
#include <QString>
#include <map>
#include <optional>

namespace kx4 {

class TextCatalogue {
  public:
    static constexpr int kMaxTextLength = 1023;
    static constexpr qint64 kMaxModuleBytes = 1 << 20;

    // The German texts the program carries.
    static TextCatalogue builtIn();
    // Entries of a language module file; nullopt when it is missing, unreadable or too large.
    static std::optional<TextCatalogue> readModule(const QString& path);
    // Entries of module text (see the format above).
    static TextCatalogue parseModule(const QString& content);
    // The module beside `programPath` for the abbreviation ("ENU": .ENU, then .EN), else builtIn().
    static TextCatalogue forProgram(const QString& programPath, const QString& abbreviation);

    QString text(int id) const;
    bool isModule() const { return module_; }
    const QString& source() const { return source_; }  // module path, empty for the built-in one

  private:
    std::map<int, QString> entries_;
    bool module_ = false;
    QString source_;
};

// The catalogue the program reads from; built-in until the start-up installs another.
const TextCatalogue& textCatalogue();
void installTextCatalogue(TextCatalogue catalogue);

// Catalogue lookup: entry number -> text.
QString CatalogueText(int id);

}  // namespace kx4
