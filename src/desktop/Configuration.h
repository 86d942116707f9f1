// The installation's configuration: the associated database and the installation folder. On Windows
// the machine-wide registry key; elsewhere, or where a file is named (--config, VELUMBRA_CONFIG), an
// INI file written by the installation. The program never creates it.
//
// Beside it, the user's own configuration: on Windows the same key under HKEY_CURRENT_USER, elsewhere
// (and beside a named file) an INI file of the user's ($VELUMBRA_USER_CONFIG, else
// $XDG_CONFIG_HOME/velumbra/velumbra.ini). It is read first, and it is the only store the program
// writes: the machine-wide one belongs to the installation and every user, whoever runs the program.
#pragma once

#include <QSettings>
#include <QString>
#include <memory>
#include <optional>

namespace desktop {

class Configuration {
  public:
    // A store: an INI file's path, or a registry key ("HKEY_LOCAL_MACHINE\\Software\\...").
    struct Store {
        QString location;
        QSettings::Format format = QSettings::IniFormat;
    };

    // Two INI files, on every platform.
    explicit Configuration(QString iniPath, QString userIniPath = UserIniPath());
    Configuration(Store machineStore, Store userStore);
    // Two registry keys (Windows): the machine-wide one and the user's own.
    static Configuration InRegistry(const QString& machineKey, const QString& userKey);
    // The program's: the file that the arguments or the environment name; else on Windows the
    // registry keys Software\Velumbra\Velumbra\1.00; else the INI file that IniPath finds.
    static Configuration ForProgram(const QStringList& arguments);

    // False when neither the machine-wide key (or file) nor the user's own can be opened.
    bool Exists() const;
    // A value of string type, the user's own first, or nothing.
    std::optional<QString> Read(const QString& name) const;
    // Writes a string value into the user's own store (made when missing); a value that the machine-wide
    // store gives already is taken out of the user's own instead. False when it could not be written, or
    // no configuration exists.
    [[nodiscard]] bool Write(const QString& name, const QString& value) const;
    // The folder in which the default database is made: value Directory, unless it is missing or empty
    // or names no folder, or a folder that the user cannot write: then the user's own data folder
    // ($XDG_DATA_HOME/velumbra; on Windows %LOCALAPPDATA%\velumbra), made when missing.
    QString DatabaseFolder() const;

    // The INI file's path: --config FILE, else VELUMBRA_CONFIG, else ../etc/velumbra.ini beside the
    // program when it is there, else (outside Windows) /etc/velumbra.ini when that is there (the Debian
    // package's, the program being /usr/bin/velumbra), else the one beside the program.
    static QString IniPath(const QStringList& arguments);
    // The file that --config or VELUMBRA_CONFIG names, or nothing.
    static std::optional<QString> NamedIniPath(const QStringList& arguments);
    // The user's own INI file: $VELUMBRA_USER_CONFIG, else $XDG_CONFIG_HOME/velumbra/velumbra.ini
    // (on Windows in %LOCALAPPDATA%).
    static QString UserIniPath();

  private:
    static std::unique_ptr<QSettings> Open(const Store& store);
    static bool StoreExists(const Store& store);
    bool MachineExists() const;
    bool UserExists() const;
    // The value of a store, a text that QSettings takes for a list read as the INI file's line has it.
    static std::optional<QString> ReadFrom(const Store& store, const QString& name);
    static std::optional<QString> RawIniValue(const QString& iniPath, const QString& name);
    Store machineStore_;
    Store userStore_;
};

}  // namespace desktop
