// The real vantifex program under the offscreen platform: a photo on the command line is
// loaded at start, a folder becomes the input directory, the options and the exit statuses.
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include "tests/app/window_test_support.h"

using namespace window_tests;

namespace {

struct Run {
    int status = -1;
    QString out;
    QString err;
};

Run runVantifex(const QStringList& args, bool withPlatform = true) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    if (withPlatform) env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.start(VFX_VANTIFEX_PATH, args);
    Run r;
    if (!p.waitForFinished(60000)) return r;
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

}  // namespace

class ProgramTest : public QObject {
    Q_OBJECT
  private:
    testing_support::TempDir dir_;

  private slots:
    void photoOnTheCommandLineIsLoaded() {
        const QString photo = writeTestPhoto(dir_, "start", 120, 90);
        const Run r = runVantifex({"--report-and-quit", photo});
        QCOMPARE(r.status, 0);
        QVERIFY2(r.out.contains("title: Vantifex - " + QFileInfo(photo).fileName() + "\n"),
                 qPrintable(r.out));
        QVERIFY2(r.out.contains("photo: 120x90\n"), qPrintable(r.out));
        QVERIFY2(r.out.contains("original picture: "), qPrintable(r.out));
        QVERIFY2(!r.out.contains("enhanced picture: 0x0"), qPrintable(r.out));
        QVERIFY2(!r.out.contains("original picture: 0x0"), qPrintable(r.out));
    }

    void startsEmptyWithAutoset() {
        const Run r = runVantifex({"--report-and-quit"});
        QCOMPARE(r.status, 0);
        QVERIFY2(r.out.contains("title: Vantifex\n"), qPrintable(r.out));
        QVERIFY(r.out.contains("autoset: on\n"));
        QVERIFY(r.out.contains("output directory: enhanced\n"));
    }

    void folderBecomesTheInputDirectory() {
        const QString folder = QString::fromStdString(dir_.path().string());
        const Run r = runVantifex({"--report-and-quit", folder});
        QCOMPARE(r.status, 0);
        QVERIFY2(r.out.contains("output directory: " + folder + "/enhanced\n"), qPrintable(r.out));
    }

    void optionsAndExitStatuses_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("platform");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::newRow("help") << QStringList{"--help"} << false << 0 << "usage: vantifex"
                              << "";
        QTest::newRow("version") << QStringList{"--version"} << false << 0 << "vantifex 0."
                                 << "";
        QTest::newRow("unknown option") << QStringList{"--frobnicate"} << true << 2 << ""
                                        << "unknown option --frobnicate";
        QTest::newRow("two paths") << QStringList{"a", "b"} << true << 2 << ""
                                   << "only one PATH";
        QTest::newRow("missing photo") << QStringList{"/nonexistent/photo.jpg"} << true << 1 << ""
                                       << "no such file or folder";
        QTest::newRow("no display") << QStringList{} << false << 1 << ""
                                    << "cannot create the main window: no display";
    }

    void optionsAndExitStatuses() {
        QFETCH(QStringList, args);
        QFETCH(bool, platform);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        const Run r = runVantifex(args, platform);
        QCOMPARE(r.status, status);
        QVERIFY2(r.out.contains(out), qPrintable(r.out));
        QVERIFY2(r.err.contains(err), qPrintable(r.err));
    }
};

VFX_QT_TEST(ProgramTest);

#include "program_test.moc"
