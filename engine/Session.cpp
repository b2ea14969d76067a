#include "engine/Session.h"

#include <fnmatch.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "engine/core/Errors.h"
#include "engine/core/FileSystem.h"
#include "engine/core/TextCodec.h"

namespace kx4 {

namespace {

constexpr std::uint64_t kConfigurationLimit = 16 << 20;

std::string trim(const std::string& s) {
    const auto begin = s.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return {};
    const auto end = s.find_last_not_of(" \t\r\n");
    return s.substr(begin, end - begin + 1);
}

std::vector<AliasDefinition> parseConfiguration(std::istream& in) {
    std::vector<AliasDefinition> aliases;
    std::string line;
    while (std::getline(in, line)) {
        line = trim(line);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line.front() == '[' && line.back() == ']') {
            AliasDefinition alias;
            alias.name = trim(line.substr(1, line.size() - 2));
            if (!alias.name.empty()) aliases.push_back(alias);
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string::npos || aliases.empty()) continue;
        aliases.back().params.emplace_back(toUpperAscii(trim(line.substr(0, eq))),
                                           trim(line.substr(eq + 1)));
    }
    return aliases;
}

}  // namespace

std::string AliasDefinition::param(const std::string& key) const {
    const std::string upper = toUpperAscii(key);
    for (const auto& [k, v] : params)
        if (k == upper) return v;
    return {};
}

TSession::TSession(FileSystem& files) : files_(files), configPath_(defaultConfigPath()) {}

std::string TSession::defaultConfigPath() {
    if (const char* explicitPath = std::getenv("KX4_ENGINE_CONFIG"); explicitPath && *explicitPath)
        return explicitPath;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        return std::string(xdg) + "/kx4/engine.ini";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.config/kx4/engine.ini";
}

void TSession::setConfigPath(const std::string& path) {
    configPath_ = path;
    active_ = false;
    aliases_.clear();
}

void TSession::Open() {
    if (active_) return;
    loadConfiguration();
    active_ = true;
}

void TSession::loadConfiguration() {
    aliases_.clear();
    // A configuration that is missing or cannot be read means no aliases, as before any was set.
    if (!files_.isRegularFile(configPath_)) return;
    std::vector<std::uint8_t> bytes;
    try {
        bytes = readWholeFile(*files_.open(configPath_, OpenMode::Read), kConfigurationLimit);
    } catch (const EDBEngineError&) {
        return;
    }
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    aliases_ = parseConfiguration(in);
}

void TSession::GetAliasNames(std::vector<std::string>& list) {
    Open();
    list.clear();
    for (const auto& a : aliases_) list.push_back(a.name);
}

bool TSession::hasAlias(const std::string& name) {
    Open();
    return std::any_of(aliases_.begin(), aliases_.end(),
                       [&](const AliasDefinition& a) { return sameName(a.name, name); });
}

const AliasDefinition& TSession::alias(const std::string& name) {
    Open();
    for (const auto& a : aliases_)
        if (sameName(a.name, name)) return a;
    throwEngineError(DBIERR_UNKNOWNDB, "Unknown database: " + name);
}

void TSession::GetAliasParams(const std::string& name, std::vector<std::string>& list) {
    const AliasDefinition& a = alias(name);
    list.clear();
    for (const auto& [k, v] : a.params) list.push_back(k + "=" + v);
}

std::string TSession::directoryOf(const std::string& databaseName) {
    if (!hasAlias(databaseName) && databaseName.find('/') != std::string::npos) return databaseName;
    const AliasDefinition& a = alias(databaseName);
    if (toUpperAscii(a.type()) != "STANDARD")
        throwEngineError(DBIERR_NOTSUPPORTED,
                         "Database " + databaseName + " is not a directory of table files");
    const std::string path = a.param("PATH");
    if (path.empty())
        throwEngineError(DBIERR_UNKNOWNDB, "Database " + databaseName + " has no PATH");
    return path;
}

void TSession::GetTableNames(const std::string& aliasName, const std::string& pattern,
                             bool extensions, bool systemTables, std::vector<std::string>& list) {
    const std::string dir = directoryOf(aliasName);
    if (!files_.exists(dir))
        throwEngineError(DBIERR_NOSUCHFILE,
                         "Directory of database " + aliasName + " does not exist: " + dir);
    list.clear();
    for (const auto& name : files_.listDirectory(dir)) {
        TableFormat* format = formatByExtension(name);
        if (!format || !files_.isRegularFile(joinPath(dir, name)) ||
            !format->isTable(TablePath{dir, name}, files_))
            continue;
        if (!pattern.empty() && ::fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD) != 0)
            continue;
        list.push_back(extensions ? name : stemOf(name));
    }
    std::sort(list.begin(), list.end());
    (void)systemTables;  // the file formats have no system tables of their own
}

void TSession::AddPassword(const std::string& password) {
    Open();
    if (std::find(passwords_.begin(), passwords_.end(), password) == passwords_.end())
        passwords_.push_back(password);
}

void TSession::RemoveAllPasswords() { passwords_.clear(); }

void TSession::DropConnections() {
    // Tables are closed as soon as their objects are; no idle connection is kept.
}

namespace {

bool sameDirectory(const std::string& a, const std::string& b) {
    std::error_code ec;
    const auto normal = [&](const std::string& p) {
        auto path = std::filesystem::weakly_canonical(std::filesystem::path(p), ec);
        return ec ? std::filesystem::path(p).lexically_normal() : path;
    };
    return normal(a) == normal(b);
}

}  // namespace

int TSession::codePageFor(const std::string& directory) {
    if (codePageForRun_ != 0) return codePageForRun_;
    Open();
    for (const auto& a : aliases_) {
        const std::string setting = a.param("CODEPAGE");
        if (setting.empty() || toUpperAscii(a.type()) != "STANDARD") continue;
        if (a.param("PATH").empty() || !sameDirectory(a.param("PATH"), directory)) continue;
        const int codePage = TextCodec::codePageOfSetting(setting);
        if (codePage == 0)
            throwEngineError(DBIERR_INVALIDPARAM, "Alias " + a.name + ": CODEPAGE=" + setting +
                                                      " is not a code page the engine can read");
        return codePage;
    }
    return 0;
}

OpenOptions TSession::openOptions(const TablePath& path, bool exclusive) {
    return OpenOptions{exclusive, this, codePageFor(path.directory), files_};
}

std::optional<std::string> TSession::askPassword(const std::string& tableFile,
                                                 bool previousWasWrong) {
    if (!OnPassword) return std::nullopt;
    auto answer = OnPassword(tableFile, previousWasWrong);
    if (answer && !answer->empty()) AddPassword(*answer);
    return answer;
}

TSession& Session() {
    static TSession session;
    return session;
}

}  // namespace kx4
