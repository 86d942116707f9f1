#include "desktop/Configuration.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace desktop {

namespace {
#ifdef Q_OS_WIN
// Whether a registry key ("HKEY_LOCAL_MACHINE\\Software\\...") exists, asked of Windows itself: a
// QSettings on a key makes it, and the program never makes the machine-wide key.
bool RegistryKeyExists(const QString& key) {
    const qsizetype cut = key.indexOf('\\');
    const QString root = key.left(cut).toUpper();
    HKEY base = nullptr;
    if (root == QStringLiteral("HKEY_LOCAL_MACHINE")) {
        base = HKEY_LOCAL_MACHINE;
    } else if (root == QStringLiteral("HKEY_CURRENT_USER")) {
        base = HKEY_CURRENT_USER;
    } else {
        return false;
    }
    const std::wstring path = key.mid(cut + 1).toStdWString();
    HKEY opened = nullptr;
    if (cut < 0 ||
        RegOpenKeyExW(base, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &opened) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(opened);
    return true;
}
#endif
}  // namespace

Configuration::Configuration(QString iniPath, QString userIniPath)
    : Configuration(Store{std::move(iniPath)}, Store{std::move(userIniPath)}) {}

Configuration::Configuration(Store machineStore, Store userStore)
    : machineStore_(std::move(machineStore)), userStore_(std::move(userStore)) {}

Configuration Configuration::InRegistry(const QString& machineKey, const QString& userKey) {
    return Configuration(Store{machineKey, QSettings::NativeFormat}, Store{userKey, QSettings::NativeFormat});
}

Configuration Configuration::ForProgram(const QStringList& arguments) {
#ifdef Q_OS_WIN
    if (!NamedIniPath(arguments)) {
        return InRegistry(QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Velumbra\\Velumbra\\1.00"),
                          QStringLiteral("HKEY_CURRENT_USER\\Software\\Velumbra\\Velumbra\\1.00"));
    }
#endif
    return Configuration(IniPath(arguments));
}

bool Configuration::StoreExists(const Store& store) {
    if (store.location.isEmpty()) {
        return false;
    }
    if (store.format == QSettings::NativeFormat) {
#ifdef Q_OS_WIN
        return RegistryKeyExists(store.location);
#else
        return false;  // no registry here
#endif
    }
    const QFileInfo file(store.location);
    return file.isFile() && file.isReadable();
}

bool Configuration::MachineExists() const {
    return StoreExists(machineStore_);
}

bool Configuration::UserExists() const {
    return StoreExists(userStore_);
}

bool Configuration::Exists() const {
    return MachineExists() || UserExists();
}

std::unique_ptr<QSettings> Configuration::Open(const Store& store) {
    return std::make_unique<QSettings>(store.location, store.format);
}

std::optional<QString> Configuration::Read(const QString& name) const {
    if (UserExists()) {
        if (auto value = ReadFrom(userStore_, name)) {
            return value;
        }
    }
    if (!MachineExists()) {
        return std::nullopt;
    }
    return ReadFrom(machineStore_, name);
}

std::optional<QString> Configuration::ReadFrom(const Store& store, const QString& name) {
    const QVariant value = Open(store)->value(name);
    if (store.format == QSettings::IniFormat && value.typeId() == QMetaType::QStringList) {
        // A value written by hand with a comma in it (a folder named "Dati, 2026") reads as a list:
        // it is taken from the file as the text it is.
        return RawIniValue(store.location, name);
    }
    if (value.typeId() != QMetaType::QString) {
        return std::nullopt;
    }
    return value.toString();
}

std::optional<QString> Configuration::RawIniValue(const QString& iniPath, const QString& name) {
    QFile file(iniPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return std::nullopt;
    }
    bool general = true;  // values before any section belong to [General]
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith('[')) {
            general = line.compare(QStringLiteral("[General]"), Qt::CaseInsensitive) == 0;
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (general && equals > 0 && line.left(equals).trimmed() == name) {
            return line.mid(equals + 1).trimmed();
        }
    }
    return std::nullopt;
}

bool Configuration::Write(const QString& name, const QString& value) const {
    if (!Exists() || userStore_.location.isEmpty()) {
        return false;  // the program never creates the configuration
    }
    // The machine-wide store is the installation's, shared by every user: never changed. A value equal
    // to the one it gives needs no copy of the user's, which would hide a later change made there.
    const bool asMachine = MachineExists() && ReadFrom(machineStore_, name) == value;
    if (asMachine && !UserExists()) {
        return true;
    }
    if (userStore_.format == QSettings::IniFormat &&
        !QDir().mkpath(QFileInfo(userStore_.location).absolutePath())) {
        return false;
    }
    auto user = Open(userStore_);
    if (!user->isWritable()) {
        return false;
    }
    if (asMachine) {
        user->remove(name);
    } else {
        user->setValue(name, value);
    }
    user->sync();
    return user->status() == QSettings::NoError;
}

QString Configuration::DatabaseFolder() const {
    if (const auto directory = Read(QStringLiteral("Directory")); directory && !directory->isEmpty()) {
        const QFileInfo folder(*directory);
        if (folder.isDir() && folder.isWritable()) {
            return QDir::toNativeSeparators(*directory);
        }
    }
    const QString own = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
                            .absoluteFilePath(QStringLiteral("velumbra"));
    QDir().mkpath(own);
    return QDir::toNativeSeparators(own);
}

std::optional<QString> Configuration::NamedIniPath(const QStringList& arguments) {
    const int option = arguments.indexOf(QStringLiteral("--config"));
    if (option >= 0 && option + 1 < arguments.size()) {
        return arguments[option + 1];
    }
    const QString fromEnvironment = qEnvironmentVariable("VELUMBRA_CONFIG");
    if (!fromEnvironment.isEmpty()) {
        return fromEnvironment;
    }
    return std::nullopt;
}

QString Configuration::IniPath(const QStringList& arguments) {
    if (auto named = NamedIniPath(arguments)) {
        return *named;
    }
    const QString beside =
        QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("../etc/velumbra.ini"));
#ifndef Q_OS_WIN
    const QString system = QStringLiteral("/etc/velumbra.ini");
    if (!QFileInfo::exists(beside) && QFileInfo::exists(system)) {
        return system;
    }
#endif
    return beside;
}

QString Configuration::UserIniPath() {
    const QString named = qEnvironmentVariable("VELUMBRA_USER_CONFIG");
    if (!named.isEmpty()) {
        return named;
    }
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return folder.isEmpty() ? QString()
                            : QDir(folder).absoluteFilePath(QStringLiteral("velumbra/velumbra.ini"));
}

}  // namespace desktop
