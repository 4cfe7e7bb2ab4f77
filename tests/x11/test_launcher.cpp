// The real launcher: what the desktop's opener gets, what never reaches it, the notice without one.
// A stand-in xdg-open records its arguments; PATH holds nothing else, so no browser can start.
#include "platform/qt/TOURL.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestLauncher : public QObject {
    Q_OBJECT
private slots:
    void addressReachesTheOpenerAsOneArgumentOrTheUserIsTold() {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs the xcb platform");
        QTemporaryDir dir;
        qunsetenv("BROWSER");
        qputenv("PATH", QFile::encodeName(dir.path()));
        QStringList notices;
        TOURL::NoticeOverride notice([&notices](const QString& text) { notices << text; });
        const QStringList failed(
            2, QStringLiteral("无法找到Internet Explorer，可能是您没有正确的安装IE。请手动访问。"));
        TOURL::OpenUrl(QStringLiteral("http://harnel.morlend.example/"));
        TOURL::OpenMail(QStringLiteral("harnel@morlend.example"));
        QCOMPARE(notices, failed);

        const QString record = dir.filePath(QStringLiteral("opened.txt"));
        QFile opener(dir.filePath(QStringLiteral("xdg-open")));
        QVERIFY(opener.open(QIODevice::WriteOnly));
        opener.write("#!/bin/sh\nprintf '%s|%s\\n' \"$#\" \"$1\" >> \"$STEPWICK_TEST_RECORD\"\n");
        opener.close();
        QVERIFY(opener.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        qputenv("STEPWICK_TEST_RECORD", QFile::encodeName(record));
        // Refused before anything is started: no scheme, a local file, script, an option, a space.
        notices.clear();
        for (const char* address : {"", "file:///bin/sh", "javascript:alert(1)", "-x http://host.example/",
                                    "http://host.example/a b", "sh -c reboot"})
            TOURL::OpenUrl(QString::fromUtf8(address));
        QCOMPARE(notices.size(), 6);
        // An address that a shell would take for a command must arrive as plain text.
        notices.clear();
        TOURL::OpenUrl(QStringLiteral("http://host.example/$(touch%20pwned);touch%20pwned"));
        TOURL::OpenMail(QStringLiteral("harnel@morlend.example"));
        QVERIFY(notices.isEmpty());
        auto recorded = [&] {
            QFile f(record);
            return f.open(QIODevice::ReadOnly)
                       ? QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts)
                       : QStringList();
        };
        QTRY_COMPARE_WITH_TIMEOUT(recorded().size(), 2, 10000);
        QStringList lines = recorded();
        lines.sort();
        QCOMPARE(lines, QStringList({QStringLiteral("1|http://host.example/$(touch%20pwned);touch%20pwned"),
                                     QStringLiteral("1|mailto:harnel@morlend.example")}));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("pwned"))) &&
                !QFile::exists(QStringLiteral("pwned")));
    }
};

QTEST_MAIN(TestLauncher)
#include "test_launcher.moc"
