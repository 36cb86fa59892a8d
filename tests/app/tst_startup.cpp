// The built program's command line: --version and --help answer and exit before any window exists, with no display at all.
#include <QtTest>

class TstStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("expectedLines");

        QTest::newRow("--version") << QStringList{"--version"} << QStringList{"Vantrel 2.0.0 - ac75928"};
        QTest::newRow("--help") << QStringList{"--help"}
                                << QStringList{"Vantrel, a Holmvik application.", "-h, --help",
                                               "-v, --version"};
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, expectedLines);

        // A private copy of the program: the window would create "../Vantrel.ini"
        // beside it, which tells whether one was built.
        QTemporaryDir install;
        QVERIFY(install.isValid());
        QVERIFY(QDir(install.path()).mkpath("bin"));
#if defined(Q_OS_WIN)
        const QString name = QStringLiteral("bin/Vantrel.exe");
#else
        const QString name = QStringLiteral("bin/Vantrel");
#endif
        const QString program = install.filePath(name);
        QVERIFY(QFile::copy(qEnvironmentVariable("VANTREL_BINARY_DIR") + "/" + name, program));

        // As over plain SSH: no display of any kind and no platform plugin chosen.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QString::fromLatin1(name));
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(program, arguments);
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);

        const QString output = QString::fromUtf8(process.readAllStandardOutput());
        for (const QString& line : expectedLines)
            QVERIFY2(output.contains(line), qPrintable(QString("missing \"%1\" in:\n%2").arg(line, output)));
        QVERIFY2(!QFile::exists(install.filePath("Vantrel.ini")), "no window may be created");
    }
};

QTEST_GUILESS_MAIN(TstStartup)
#include "tst_startup.moc"
