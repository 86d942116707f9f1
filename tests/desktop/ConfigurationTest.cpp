// The machine-wide configuration and the user's own beside it: a first start on a machine whose
// configuration the user may not change, and values that go back where they can.
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "GuiTestMain.h"
#include "ModalScript.h"
#include "desktop/Configuration.h"
#include "desktop/MainFrame.h"
#include "desktop/QtText.h"

using desktop::CMainFrame;
using desktop::Configuration;

class ConfigurationTest : public QObject {
    Q_OBJECT
    QTemporaryDir home;

    // A machine-wide file of its own name for each content: QSettings does not read again a file of the
    // same name, size and time.
    QString MachineIni(const QString& content, const QString& name = "velumbra.ini") {
        const QString path = home.filePath("etc/" + name);
        QDir().mkpath(home.filePath("etc"));
        QFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text);
        file.write(content.toUtf8());
        return path;
    }

    // The user's own data folder, where the default database goes: in the test's home, under a name
    // with letters Windows-1252 lacks, but on Windows the profile's own (Windows has no XDG folders),
    // emptied of a database left by an earlier run.
    QString OwnDataFolder() const {
#ifdef Q_OS_WIN
        return QDir::toNativeSeparators(
            QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)).filePath("velumbra"));
#else
        return home.filePath("Ștefan ő/data/velumbra");
#endif
    }

    static QString Contents(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

  private slots:
    void init() {
        // Each case with a home of its own: the user's configuration and data folders are found there.
        QVERIFY(home.isValid());
        QDir(home.path()).removeRecursively();
        QDir().mkpath(home.path());
#ifdef Q_OS_WIN
        qputenv("VELUMBRA_USER_CONFIG", home.filePath("config/velumbra/velumbra.ini").toUtf8());
        QFile::remove(OwnDataFolder() + "\\VELUMBRA.MDB");
#else
        qunsetenv("VELUMBRA_USER_CONFIG");
        qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
        qputenv("XDG_DATA_HOME", home.filePath("Ștefan ő/data").toUtf8());
#endif
    }

    // Installed machine-wide (as by the Debian package: no Directory, a file the user may not change),
    // the first start offers the default database in the user's own data folder, and the database
    // chosen is kept in the user's own configuration and found there at the next start.
    void aFirstStartOnALockedMachineKeepsTheChoiceInTheUsersOwnConfiguration() {
        const QString machine = MachineIni("[General]\n", "locked.ini");
        const QString machineBefore = Contents(machine);
        const QString userIni = home.filePath("config/velumbra/velumbra.ini");
        QCOMPARE(Configuration::UserIniPath(), userIni);
        const QString database = OwnDataFolder() + QDir::separator() + "VELUMBRA.MDB";
        {
            const Configuration configuration(machine, Configuration::UserIniPath());
            CMainFrame frame(configuration);
            ModalScript script;
            script.Message(QMessageBox::Ok).Message(QMessageBox::Ok);  // create it; created
            QVERIFY(frame.StartUp());
            QTRY_VERIFY_WITH_TIMEOUT(script.Done(), 20000);
            QVERIFY2(script.failures.empty(), qPrintable(script.failures.join("; ")));
            QVERIFY(script.messages[0].text.startsWith(
                "L'applicazione Velumbra non è associata ad un database."));
            // The message shows the letters Windows-1252 lacks as "?".
            QCOMPARE(script.messages[1].text, "Il database " +
                                                  QString(database).replace("Ștefan ő", "?tefan ?") +
                                                  " è stato creato con successo");
            QCOMPARE(desktop::FromPath(frame.Session().Path()), database);
            QVERIFY(frame.Session().HasOpenDatabase());
        }
        QVERIFY(QFile::exists(database));
        QCOMPARE(Contents(machine), machineBefore);  // not changed
        QCOMPARE(QSettings(userIni, QSettings::IniFormat).value("Database").toString(), database);

        // The next start asks nothing and opens it.
        const Configuration configuration(machine, Configuration::UserIniPath());
        CMainFrame frame(configuration);
        QVERIFY(frame.StartUp());
        QCOMPARE(desktop::FromPath(frame.Session().Path()), database);
        QVERIFY(frame.Session().HasOpenDatabase());
    }

    // A Directory that is missing, empty or names no folder is passed over for the user's own data
    // folder. (A folder the user cannot write is passed over too; as root, as the tests run in CI,
    // every folder can be written.)
    void aMissingDirectoryGivesTheUsersDataFolder() {
        const QString own = OwnDataFolder();
        QCOMPARE(Configuration(MachineIni("[General]\n", "none.ini")).DatabaseFolder(), own);
        QVERIFY(QFileInfo(own).isDir());
        QCOMPARE(Configuration(MachineIni("[General]\nDirectory=\n", "empty.ini")).DatabaseFolder(), own);
        QCOMPARE(Configuration(home.filePath("manca.ini")).DatabaseFolder(), own);
        const QString absent = home.filePath("non-esiste");
        QCOMPARE(
            Configuration(MachineIni("[General]\nDirectory=" + absent + "\n", "absent.ini")).DatabaseFolder(),
            own);
        QDir().mkpath(home.filePath("shared"));
        const QString shared = home.filePath("shared");
        QCOMPARE(
            Configuration(MachineIni("[General]\nDirectory=" + shared + "\n", "shared.ini")).DatabaseFolder(),
            QDir::toNativeSeparators(shared));
    }

    // The user's own value is read first, and it is the only one written, even where the machine-wide
    // file could be changed (as by root): that file keeps its every byte, comments included. A value
    // the machine-wide file gives already takes the user's own copy away, which would hide a change there.
    void onlyTheUsersOwnFileIsWritten() {
        const QString machine = MachineIni(
            "; the installation's\n[General]\nDatabase=/srv/comune.mdb\nDirectory=/srv\n", "writable.ini");
        const QString machineBefore = Contents(machine);
        const QString userIni = Configuration::UserIniPath();
        const Configuration configuration(machine);
        QCOMPARE(configuration.Read("Database"), std::optional<QString>("/srv/comune.mdb"));
        QVERIFY(configuration.Write("Database", "/srv/comune.mdb"));
        QVERIFY(!QFile::exists(userIni));  // nothing to keep
        QVERIFY(configuration.Write("Database", "/home/mio.mdb"));
        QCOMPARE(configuration.Read("Database"), std::optional<QString>("/home/mio.mdb"));
        QCOMPARE(configuration.Read("Directory"), std::optional<QString>("/srv"));
        QCOMPARE(QSettings(userIni, QSettings::IniFormat).value("Database").toString(),
                 QString("/home/mio.mdb"));
        QVERIFY(configuration.Write("Database", "/srv/comune.mdb"));
        QVERIFY(!QSettings(userIni, QSettings::IniFormat).contains("Database"));
        QCOMPARE(Contents(machine), machineBefore);

        // Without any configuration nothing is written, and nothing is made.
        const Configuration none(home.filePath("manca.ini"), home.filePath("config/altro/velumbra.ini"));
        QVERIFY(!none.Exists());
        QVERIFY(!none.Write("Database", "/x.mdb"));
        QVERIFY(!QFile::exists(home.filePath("config/altro/velumbra.ini")));
    }

    // A named file is the configuration on every platform (so a test, or an office that keeps it on
    // a shared drive, never touches the registry), and the user's own file can be named too.
    void aNamedFileIsTheConfigurationEverywhere() {
        const QString machine = MachineIni("[General]\nDirectory=C:\\\\Censimento\n", "named.ini");
        const QString user = home.filePath("mio.ini");
        qputenv("VELUMBRA_USER_CONFIG", user.toUtf8());
        QCOMPARE(Configuration::UserIniPath(), user);
        const Configuration configuration = Configuration::ForProgram({"velumbra", "--config", machine});
        QCOMPARE(configuration.Read("Directory"), std::optional<QString>("C:\\Censimento"));
        QVERIFY(configuration.Write("Database", "C:\\Censimento\\VELUMBRA.MDB"));
        QCOMPARE(QSettings(user, QSettings::IniFormat).value("Database").toString(),
                 QString("C:\\Censimento\\VELUMBRA.MDB"));
    }

#ifdef Q_OS_WIN
    // The registry keys behave as the files do: never made by the program, a value not of string
    // type ignored, the user's own key taking what is written.
    void theRegistryKeysKeepTheValuesAsTheFilesDo() {
        const QString root = "HKEY_CURRENT_USER\\Software\\VelumbraTest";
        QSettings(root, QSettings::NativeFormat).remove("");
        const QString machineKey = root + "\\Macchina\\1.00";
        const QString userKey = root + "\\Utente\\1.00";
        QVERIFY(!Configuration::InRegistry(machineKey, userKey).Exists());
        QVERIFY(!Configuration::InRegistry(machineKey, userKey).Write("Database", "C:\\x.mdb"));
        QVERIFY(QSettings(root, QSettings::NativeFormat).childGroups().isEmpty());
        {
            QSettings key(machineKey, QSettings::NativeFormat);
            key.setValue("Directory", "C:\\Censimento");
            key.setValue("Database", 5);  // a number, not a string
        }
        const Configuration configuration = Configuration::InRegistry(machineKey, userKey);
        QVERIFY(configuration.Exists());
        QCOMPARE(configuration.Read("Directory"), std::optional<QString>("C:\\Censimento"));
        QCOMPARE(configuration.Read("Database"), std::optional<QString>());
        QVERIFY(configuration.Write("Database", "D:\\mio.mdb"));
        QCOMPARE(QSettings(userKey, QSettings::NativeFormat).value("Database").toString(),
                 QString("D:\\mio.mdb"));
        QCOMPARE(QSettings(machineKey, QSettings::NativeFormat).value("Database").toInt(), 5);
        QCOMPARE(configuration.Read("Database"), std::optional<QString>("D:\\mio.mdb"));
        QSettings(root, QSettings::NativeFormat).remove("");
    }
#endif
};

VELUMBRA_GUI_TEST_MAIN(ConfigurationTest)
#include "ConfigurationTest.moc"
