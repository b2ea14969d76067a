#pragma once
// Shared pieces of the window tests: one application object, a chosen locale, an installed text
// catalogue and an engine configuration in a temporary directory.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "engine/Session.h"
#include "tests/support/TestSupport.h"
#include "texts/TextCatalogue.h"
#include "ui/ErrorBox.h"

// Readable QString values in test failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace kx4::test {

// The application object of the test process (created on first use, never destroyed).
inline TApplication& testApplication() {
    static int argc = 1;
    static char name[] = "kx4app_test";
    static char* argv[] = {name, nullptr};
    static TApplication* application = new TApplication(argc, argv);
    return *application;
}

// The user's locale for the lifetime of the object (LC_ALL; LC_MESSAGES and LANG cleared).
class LocaleScope {
  public:
    explicit LocaleScope(const char* locale) {
        for (const char* name : kNames) {
            const char* value = std::getenv(name);
            saved_.push_back(value ? std::optional<std::string>(value) : std::nullopt);
            ::unsetenv(name);
        }
        if (locale) ::setenv("LC_ALL", locale, 1);
    }
    ~LocaleScope() {
        for (size_t i = 0; i < saved_.size(); ++i) {
            if (saved_[i]) {
                ::setenv(kNames[i], saved_[i]->c_str(), 1);
            } else {
                ::unsetenv(kNames[i]);
            }
        }
    }
    LocaleScope(const LocaleScope&) = delete;
    LocaleScope& operator=(const LocaleScope&) = delete;

  private:
    static constexpr const char* kNames[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    std::vector<std::optional<std::string>> saved_;
};

// Installs a catalogue; the built-in one comes back afterwards.
class CatalogueScope {
  public:
    explicit CatalogueScope(TextCatalogue catalogue) { installTextCatalogue(std::move(catalogue)); }
    ~CatalogueScope() { installTextCatalogue(TextCatalogue::builtIn()); }
};

// An engine configuration file in a temporary directory, read by a session of its own.
class TestDatabase {
  public:
    TestDatabase() { session.setConfigPath(configPath()); }

    std::string configPath() const { return dir.file("engine.ini"); }
    std::filesystem::path tableDirectory(const std::string& alias) const {
        return dir.path() / ("db-" + alias);
    }

    // Appends a file alias; its directory is created unless `createDirectory` is false.
    void addAlias(const std::string& alias, bool createDirectory = true) {
        if (createDirectory) std::filesystem::create_directories(tableDirectory(alias));
        std::ofstream(configPath(), std::ios::app)
            << "[" << alias << "]\nTYPE=STANDARD\nPATH=" << tableDirectory(alias).string() << "\n";
        session.setConfigPath(configPath());
    }

    // An empty file of that name in the alias's directory (the listing only looks at names).
    void addTableFile(const std::string& alias, const std::string& fileName) {
        std::ofstream(tableDirectory(alias) / fileName);
    }

    TempDir dir;
    TSession session;
};

}  // namespace kx4::test
