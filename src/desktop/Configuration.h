// The installation's configuration: the associated database and the installation folder. On Windows
// the machine-wide registry key; elsewhere an INI file written by the installation. The program never
// creates it.
#pragma once

#include <QSettings>
#include <QString>
#include <memory>
#include <optional>

namespace desktop {

class Configuration {
  public:
    // `iniPath` is used where there is no registry.
    explicit Configuration(QString iniPath);

    // False when the key (or file) cannot be opened.
    bool Exists() const;
    // A value of string type, or nothing.
    std::optional<QString> Read(const QString& name) const;
    // Writes a string value; false when the key cannot be opened for writing.
    [[nodiscard]] bool Write(const QString& name, const QString& value) const;

    // The INI file's path: --config FILE, else VELUMBRA_CONFIG, else the one beside the installation.
    static QString IniPath(const QStringList& arguments);

  private:
    std::unique_ptr<QSettings> Open() const;
    // The value as the INI file's line has it, for a text that QSettings takes for a list.
    std::optional<QString> RawIniValue(const QString& name) const;
    QString iniPath_;
};

}  // namespace desktop
