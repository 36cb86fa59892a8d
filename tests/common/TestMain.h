// The main of a test whose code reports through the application object: failures escaping an event loop
// are reported there, as in the program.
#pragma once

#include <QTest>

#include "inhouse/DateTime.h"
#include "inhouse/ToplevelApplication.h"

#define VANTREL_TEST_MAIN(TestClass)                                                                         \
    int main(int argc, char** argv)                                                                          \
    {                                                                                                        \
        qRegisterMetaType<Tarsk::Utils::DateTime>("Tarsk::Utils::DateTime");                                 \
        Tarsk::Utils::ToplevelApplication app(argc, argv);                                                   \
        TestClass test;                                                                                      \
        return QTest::qExec(&test, argc, argv);                                                              \
    }
