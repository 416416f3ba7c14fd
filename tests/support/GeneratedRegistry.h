#pragma once

#include <string>
#include <string_view>

#include "generator/RegistryGenerator.h"
#include "support/TestDb.h"

namespace mae::test {

// A fresh folder that WINDIR names while this lives: the Windows folder start-up reads
// Meridane.ini from.
class WindowsFolder {
  public:
    WindowsFolder() = default;
    WindowsFolder(const WindowsFolder&) = delete;
    WindowsFolder& operator=(const WindowsFolder&) = delete;

    // Meridane.ini (or another name) as exactly these bytes.
    void WriteIniBytes(std::string_view bytes, std::string_view name = "Meridane.ini") const {
        WriteFileBytes(file(name), bytes);
    }
    const std::string& path() const noexcept { return m_dir.path(); }
    std::string file(std::string_view name) const { return m_dir.file(name); }

  private:
    TempDir m_dir;
    ScopedEnv m_windir{"WINDIR", m_dir.path()};
};

// A Windows folder with a generated registry (registry.db) and control database (control.db);
// Meridane.ini is written when asked for, as the generator writes it or as given bytes.
class GeneratedRegistry : public WindowsFolder {
  public:
    explicit GeneratedRegistry(const gen::RegistryOptions& options = {});

    // [Databases] Control and Registry naming the two files, [Options] ScanText.
    void WriteIni(const std::string& scanText = "TEXT") const;

    std::string registry() const { return file("registry.db"); }
    std::string control() const { return file("control.db"); }
    const gen::RegistrySummary& summary() const noexcept { return m_summary; }

  private:
    gen::RegistrySummary m_summary;
};

// "Driver=SQLite3;Database=<path>", as Meridane.ini and odbc.ini name a SQLite file.
inline std::string SqliteConnection(const std::string& path) {
    return "Driver=SQLite3;Database=" + path;
}

}  // namespace mae::test
