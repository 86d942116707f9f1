#include "desktop/Configuration.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace desktop {

namespace {
#ifdef Q_OS_WIN
const QString kKeyParent = QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Velumbra\\Velumbra");
const QString kKey = kKeyParent + QStringLiteral("\\1.00");
#endif
}  // namespace

Configuration::Configuration(QString iniPath) : iniPath_(std::move(iniPath)) {}

bool Configuration::Exists() const {
#ifdef Q_OS_WIN
    return QSettings(kKeyParent, QSettings::NativeFormat).childGroups().contains(QStringLiteral("1.00"));
#else
    const QFileInfo file(iniPath_);
    return file.isFile() && file.isReadable();
#endif
}

std::unique_ptr<QSettings> Configuration::Open() const {
#ifdef Q_OS_WIN
    return std::make_unique<QSettings>(kKey, QSettings::NativeFormat);
#else
    return std::make_unique<QSettings>(iniPath_, QSettings::IniFormat);
#endif
}

std::optional<QString> Configuration::Read(const QString& name) const {
    if (!Exists()) {
        return std::nullopt;
    }
    const QVariant value = Open()->value(name);
    if (value.typeId() != QMetaType::QString) {
        return std::nullopt;
    }
    return value.toString();
}

bool Configuration::Write(const QString& name, const QString& value) const {
    if (!Exists()) {
        return false;
    }
    auto settings = Open();
    if (!settings->isWritable()) {
        return false;
    }
    settings->setValue(name, value);
    settings->sync();
    return settings->status() == QSettings::NoError;
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
    return QDir(QCoreApplication::applicationDirPath())
        .absoluteFilePath(QStringLiteral("../etc/velumbra.ini"));
}

}  // namespace desktop
