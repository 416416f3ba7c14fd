#pragma once

#include <string>
#include <string_view>

#include "generator/RegistryGenerator.h"
#include "support/TestDb.h"

namespace mae::test {

// The folder a start-up takes for the Windows folder: a generated registry (registry.db) and
// control database (control.db) in a fresh folder, which WINDIR names while this lives.
// Meridane.ini is written when asked for, as the generator writes it or as given bytes.
class GeneratedRegistry {
  public:
    explicit GeneratedRegistry(const gen::RegistryOptions& options = {});
    GeneratedRegistry(const GeneratedRegistry&) = delete;
    GeneratedRegistry& operator=(const GeneratedRegistry&) = delete;

    // [Databases] Control and Registry naming the two files, [Options] ScanText.
    void WriteIni(const std::string& scanText = "TEXT") const;
    void WriteIniBytes(std::string_view bytes) const;

    const std::string& path() const noexcept { return m_dir.path(); }
    std::string file(std::string_view name) const { return m_dir.file(name); }
    std::string registry() const { return file("registry.db"); }
    std::string control() const { return file("control.db"); }
    const gen::RegistrySummary& summary() const noexcept { return m_summary; }

  private:
    TempDir m_dir;
    ScopedEnv m_windir{"WINDIR", m_dir.path()};
    gen::RegistrySummary m_summary;
};

// "Driver=SQLite3;Database=<path>", as Meridane.ini and odbc.ini name a SQLite file.
inline std::string SqliteConnection(const std::string& path) {
    return "Driver=SQLite3;Database=" + path;
}

}  // namespace mae::test
