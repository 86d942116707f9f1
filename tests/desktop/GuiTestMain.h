// The main of a window test: Qt's offscreen platform. Under wine (the Windows build) it is chosen here,
// with a folder of fonts for it, since no QT_ variable reaches a Windows program there.
#pragma once

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QTemporaryDir>
#include <QtTest>

inline void PrepareGuiTest() {
#if defined(Q_OS_WIN) && defined(VELUMBRA_TEST_FONTS)
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QT_QPA_FONTDIR")) {
        qputenv("QT_QPA_FONTDIR", VELUMBRA_TEST_FONTS);
    }
#endif
}

// The font of the Linux runs, which the offscreen platform there takes from fontconfig; under wine it
// would take the first face of the folder.
inline void SetGuiTestFont() {
#if defined(Q_OS_WIN) && defined(VELUMBRA_TEST_FONTS)
    QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
#endif
}

// A user's own configuration of its own for the case that calls it (from its class's init()): the
// database a case leaves there is not what the next one finds. Returns the file's path.
inline QString FreshUserConfig() {
    static QTemporaryDir homes;
    static int count = 0;
    const QString path = homes.filePath(QStringLiteral("%1/velumbra.ini").arg(++count));
    qputenv("VELUMBRA_USER_CONFIG", QDir::toNativeSeparators(path).toUtf8());
    return path;
}

#define VELUMBRA_GUI_TEST_MAIN(TestObject) \
    QTEST_MAIN_WRAPPER(TestObject, PrepareGuiTest(); QTEST_MAIN_SETUP() SetGuiTestFont();)
