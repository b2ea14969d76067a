#pragma once
// The engine's default session: aliases from the engine configuration, the password list and
// the prompt for a password the list lacks.
//
// Configuration file (INI): one section per alias, e.g.
//   [MORVANE]
//   TYPE=STANDARD
//   PATH=/home/me/.local/share/kx4/morvane
// A server alias has another TYPE and a "SERVER NAME" entry. CODEPAGE=850 (or UTF-8) is the code
// page of the alias's tables that name none. Location: $KX4_ENGINE_CONFIG if set,
// else $XDG_CONFIG_HOME/kx4/engine.ini (default ~/.config/kx4/engine.ini). A missing file means
// no aliases.
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/core/FileSystem.h"
#include "engine/core/TableFormat.h"

namespace kx4 {

struct AliasDefinition {
    std::string name;
    std::vector<std::pair<std::string, std::string>> params;  // in file order, names upper-cased
    std::string param(const std::string& name) const;         // "" if absent
    std::string type() const { return param("TYPE").empty() ? "STANDARD" : param("TYPE"); }
};

class TSession : public PasswordSource {
  public:
    // Every file the session and its tables touch goes through `files`.
    explicit TSession(FileSystem& files = defaultFileSystem());
    TSession(const TSession&) = delete;
    TSession& operator=(const TSession&) = delete;

    FileSystem& fileSystem() const { return files_; }

    // Alias names in the configuration's order. The first call starts the session.
    void GetAliasNames(std::vector<std::string>& list);
    // "NAME=value" lines of the alias's parameters; unknown alias raises EDBEngineError.
    void GetAliasParams(const std::string& alias, std::vector<std::string>& list);
    // Table file names of an alias's directory (pattern "" = all; wildcards * and ?).
    void GetTableNames(const std::string& alias, const std::string& pattern, bool extensions,
                       bool systemTables, std::vector<std::string>& list);
    void AddPassword(const std::string& password);
    void RemoveAllPasswords();
    void DropConnections();
    bool Active() const { return active_; }
    void Open();

    // Directory of a standard alias, or of a database name that is itself a directory path.
    std::string directoryOf(const std::string& databaseName);
    const AliasDefinition& alias(const std::string& name);  // raises for an unknown alias
    bool hasAlias(const std::string& name);

    // Code page for the tables in `directory` that name none: the one set for this run, else
    // the CODEPAGE of the standard alias with that PATH, else 0 (the format's default). Raises
    // for a CODEPAGE that names no code page this system converts.
    int codePageFor(const std::string& directory);
    // A code page for every table that names none, ahead of the aliases' CODEPAGE; 0 clears it.
    void setCodePageForRun(int codePage) { codePageForRun_ = codePage; }
    // How the session's tables are opened: its passwords and the code page setting.
    OpenOptions openOptions(const TablePath& path, bool exclusive);

    // PasswordSource
    std::vector<std::string> passwords() const override { return passwords_; }
    std::optional<std::string> askPassword(const std::string& tableFile,
                                           bool previousWasWrong) override;

    // Called when a table needs a password the list lacks; the application installs a dialog.
    std::function<std::optional<std::string>(const std::string& tableFile, bool previousWasWrong)>
        OnPassword;

    // Configuration location (see above); tests point it elsewhere.
    static std::string defaultConfigPath();
    void setConfigPath(const std::string& path);
    const std::string& configPath() const { return configPath_; }

  private:
    void loadConfiguration();

    FileSystem& files_;
    bool active_ = false;
    std::string configPath_;
    std::vector<AliasDefinition> aliases_;
    std::vector<std::string> passwords_;
    int codePageForRun_ = 0;
};

// The one default session of the process.
TSession& Session();

}  // namespace kx4
