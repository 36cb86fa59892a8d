// Shared pieces of the fuzz targets: a Qt application object, silenced logging and a property check.
#pragma once

#include <QCoreApplication>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>

namespace VantrelFuzz {

// A broken property is a finding like a crash: libFuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                                     \
    do {                                                                                          \
        if (!(condition)) {                                                                       \
            std::fprintf(stderr, "property failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
            std::abort();                                                                         \
        }                                                                                         \
    } while (false)

// Warnings about rejected input are the expected outcome; printing them would
// only slow the run down. Fatal messages still abort.
inline void quietHandler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
        std::abort();
    }
}

inline void initQt(int* argc, char*** argv)
{
    qInstallMessageHandler(quietHandler);
    static QCoreApplication app(*argc, *argv);
}

} // namespace VantrelFuzz

#define VANTREL_FUZZ_INIT                                         \
    extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)  \
    {                                                             \
        VantrelFuzz::initQt(argc, argv);                          \
        return 0;                                                 \
    }
