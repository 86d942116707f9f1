#include "desktop/Configuration.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
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
#ifndef Q_OS_WIN
    if (value.typeId() == QMetaType::QStringList) {
        // A value written by hand with a comma in it (a folder named "Dati, 2026") reads as a list:
        // it is taken from the file as the text it is.
        return RawIniValue(name);
    }
#endif
    if (value.typeId() != QMetaType::QString) {
        return std::nullopt;
    }
    return value.toString();
}

std::optional<QString> Configuration::RawIniValue(const QString& name) const {
    QFile file(iniPath_);
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
