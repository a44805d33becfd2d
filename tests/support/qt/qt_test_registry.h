// Registration of the Qt Test classes: each class registers itself where it is defined, and
// the one main of a test program (qt_test_main.cpp) runs one class by name, or all of them, or
// lists them for CTest. A class that is written is so always run.
#pragma once

#include <QObject>
#include <memory>
#include <vector>

namespace qt_tests {

struct TestClass {
    const char* name;
    std::unique_ptr<QObject> (*make)();
};

// Every class of the program, in the order the linker ran their registrations.
inline std::vector<TestClass>& registry() {
    static std::vector<TestClass> classes;
    return classes;
}

inline bool registerClass(const char* name, std::unique_ptr<QObject> (*make)()) {
    registry().push_back(TestClass{name, make});
    return true;
}

}  // namespace qt_tests

// After the class's definition: VFX_QT_TEST(MyTest)
#define VFX_QT_TEST(Class)                                           \
    [[maybe_unused]] static const bool vfxQtTestRegistered_##Class = \
        ::qt_tests::registerClass(#Class, [] { return std::unique_ptr<QObject>(new Class); })
