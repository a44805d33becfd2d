// The one main of the Qt Test programs: runs the class named first on the command line (CTest
// runs each class as its own test), every registered class without a name, or lists them with
// --list-classes. The offscreen platform is the default, and settings, caches and the home
// folder are a temporary folder of this run, never the user's.
#include <QApplication>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "support/qt/qt_test_registry.h"
#include "support/test_support.h"

int main(int argc, char** argv) {
    std::set<std::string> names;
    for (const qt_tests::TestClass& c : qt_tests::registry())
        if (!names.insert(c.name).second) {
            std::fprintf(stderr, "test class %s is registered twice\n", c.name);
            return 2;
        }
    if (argc > 1 && std::strcmp(argv[1], "--list-classes") == 0) {
        for (const qt_tests::TestClass& c : qt_tests::registry()) std::printf("%s\n", c.name);
        return 0;
    }
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // CTest runs the classes at once, and the programs they start inherit the folder.
    const testing_support::TempDir home;
    setenv("HOME", home.path().c_str(), 1);
    for (const char* variable : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        setenv(variable, home.path().c_str(), 1);
    QApplication app(argc, argv);
    QStringList args = app.arguments();
    QString only;
    if (args.size() > 1 && !args[1].startsWith('-')) only = args.takeAt(1);
    int failures = 0;
    bool ran = false;
    for (const qt_tests::TestClass& c : qt_tests::registry()) {
        if (!only.isEmpty() && only != QLatin1String(c.name)) continue;
        ran = true;
        std::unique_ptr<QObject> test = c.make();
        failures += QTest::qExec(test.get(), args);
    }
    if (!ran) {
        if (only.isEmpty())
            std::fprintf(stderr, "no test class is registered\n");
        else
            std::fprintf(stderr, "no test class named %s\n", only.toLocal8Bit().constData());
        return 2;
    }
    return failures == 0 ? 0 : 1;
}
