// The real launcher on the xcb platform: what the desktop's opener receives, and the
// notice when there is none. A stand-in xdg-open records its arguments; PATH holds
// nothing else, so no real browser can start.
#include "platform/qt/TOURL.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <optional>

class TestLauncher : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs the xcb platform");
        QVERIFY(m_dir.isValid());
        qunsetenv("BROWSER");
        qputenv("PATH", QFile::encodeName(m_dir.path()));
        m_notice.emplace([this](const QString& text) { m_notices << text; });
    }

    void withoutOpenerTheUserIsTold() {
        m_notices.clear();
        TOURL::OpenUrl(QStringLiteral("http://harnel.morlend.example/"));
        TOURL::OpenMail(QStringLiteral("harnel@morlend.example"));
        QCOMPARE(m_notices,
                 QStringList(
                     2, QStringLiteral("无法找到Internet Explorer，可能是您没有正确的安装IE。请手动访问。")));
    }

    void addressReachesTheOpenerAsOneArgument() {
        const QString record = m_dir.filePath(QStringLiteral("opened.txt"));
        QFile opener(m_dir.filePath(QStringLiteral("xdg-open")));
        QVERIFY(opener.open(QIODevice::WriteOnly));
        opener.write("#!/bin/sh\nprintf '%s|%s\\n' \"$#\" \"$1\" >> \"$STEPWICK_TEST_RECORD\"\n");
        opener.close();
        QVERIFY(opener.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        qputenv("STEPWICK_TEST_RECORD", QFile::encodeName(record));

        m_notices.clear();
        // An address that a shell would take for a command must arrive as plain text.
        TOURL::OpenUrl(QStringLiteral("http://host.example/$(touch%20pwned);touch%20pwned"));
        TOURL::OpenMail(QStringLiteral("harnel@morlend.example"));
        QVERIFY(m_notices.isEmpty());

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
        QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("pwned"))));
        QVERIFY(!QFile::exists(QStringLiteral("pwned")));
    }

private:
    QTemporaryDir m_dir;
    QStringList m_notices;
    std::optional<TOURL::NoticeOverride> m_notice;
};

QTEST_MAIN(TestLauncher)
#include "test_launcher.moc"
