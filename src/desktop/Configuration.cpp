#include "desktop/Configuration.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace desktop {

namespace {
#ifdef Q_OS_WIN
const QString kKeyParent = QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Velumbra\\Velumbra");
const QString kKey = kKeyParent + QStringLiteral("\\1.00");
const QString kUserKeyParent = QStringLiteral("HKEY_CURRENT_USER\\Software\\Velumbra\\Velumbra");
const QString kUserKey = kUserKeyParent + QStringLiteral("\\1.00");
#endif
}  // namespace

Configuration::Configuration(QString iniPath, QString userIniPath, Machine machine)
    : iniPath_(std::move(iniPath)), userIniPath_(std::move(userIniPath)), machine_(machine) {}

bool Configuration::MachineExists() const {
#ifdef Q_OS_WIN
    return QSettings(kKeyParent, QSettings::NativeFormat).childGroups().contains(QStringLiteral("1.00"));
#else
    const QFileInfo file(iniPath_);
    return file.isFile() && file.isReadable();
#endif
}

bool Configuration::UserExists() const {
#ifdef Q_OS_WIN
    return QSettings(kUserKeyParent, QSettings::NativeFormat).childGroups().contains(QStringLiteral("1.00"));
#else
    const QFileInfo file(userIniPath_);
    return !userIniPath_.isEmpty() && file.isFile() && file.isReadable();
#endif
}

bool Configuration::Exists() const {
    return MachineExists() || UserExists();
}

std::unique_ptr<QSettings> Configuration::Open() const {
#ifdef Q_OS_WIN
    return std::make_unique<QSettings>(kKey, QSettings::NativeFormat);
#else
    return std::make_unique<QSettings>(iniPath_, QSettings::IniFormat);
#endif
}

std::unique_ptr<QSettings> Configuration::OpenUser() const {
#ifdef Q_OS_WIN
    return std::make_unique<QSettings>(kUserKey, QSettings::NativeFormat);
#else
    return std::make_unique<QSettings>(userIniPath_, QSettings::IniFormat);
#endif
}

std::optional<QString> Configuration::Read(const QString& name) const {
    if (UserExists()) {
        if (auto value = ReadFrom(*OpenUser(), userIniPath_, name)) {
            return value;
        }
    }
    if (!MachineExists()) {
        return std::nullopt;
    }
    return ReadFrom(*Open(), iniPath_, name);
}

std::optional<QString> Configuration::ReadFrom(QSettings& settings, [[maybe_unused]] const QString& iniPath,
                                               const QString& name) {
    const QVariant value = settings.value(name);
#ifndef Q_OS_WIN
    if (value.typeId() == QMetaType::QStringList) {
        // A value written by hand with a comma in it (a folder named "Dati, 2026") reads as a list:
        // it is taken from the file as the text it is.
        return RawIniValue(iniPath, name);
    }
#endif
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
    if (!Exists()) {
        return false;  // the program never creates the configuration
    }
    if (MachineExists() && machine_ == Machine::AsAllowed) {
        auto settings = Open();
        if (settings->isWritable()) {
            settings->setValue(name, value);
            settings->sync();
            if (settings->status() == QSettings::NoError) {
                // The user's own copy, read first, would hide the value just written.
                if (UserExists()) {
                    auto user = OpenUser();
                    if (user->contains(name)) {
                        user->remove(name);
                        user->sync();
                    }
                }
                return true;
            }
        }
    }
    // The machine-wide store cannot be changed by this user: the value is kept in the user's own.
#ifndef Q_OS_WIN
    if (userIniPath_.isEmpty() || !QDir().mkpath(QFileInfo(userIniPath_).absolutePath())) {
        return false;
    }
#endif
    auto user = OpenUser();
    if (!user->isWritable()) {
        return false;
    }
    user->setValue(name, value);
    user->sync();
    return user->status() == QSettings::NoError;
}

QString Configuration::DatabaseFolder() const {
    if (const auto directory = Read(QStringLiteral("Directory")); directory && !directory->isEmpty()) {
        const QFileInfo folder(*directory);
        // A folder that is not there is the installation's fault, and the creation says so.
        if (!folder.isDir() || folder.isWritable()) {
            return *directory;
        }
    }
    const QString own = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
                            .absoluteFilePath(QStringLiteral("velumbra"));
    QDir().mkpath(own);
    return QDir::toNativeSeparators(own);
}

QString Configuration::IniPath(const QStringList& arguments) {
    const int option = arguments.indexOf(QStringLiteral("--config"));
    if (option >= 0 && option + 1 < arguments.size()) {
        return arguments[option + 1];
    }
    const QString fromEnvironment = qEnvironmentVariable("VELUMBRA_CONFIG");
    if (!fromEnvironment.isEmpty()) {
        return fromEnvironment;
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
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return folder.isEmpty() ? QString()
                            : QDir(folder).absoluteFilePath(QStringLiteral("velumbra/velumbra.ini"));
}

}  // namespace desktop
