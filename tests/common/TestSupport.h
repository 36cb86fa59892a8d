// Small helpers several tests need: the per-test settings file, writing fixtures, catching Exception texts.
#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>

#include <functional>

#include "inhouse/Exception.h"

namespace TestSupport {

// Each test runs in an install-like tree of its own, so this file is the test's alone.
inline QString settingsPath()
{
    return QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("../Vantrel.ini"));
}

inline bool writeFile(const QString& path, const QString& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content.toUtf8()) >= 0;
}

inline QString readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The message of the Exception `call` throws, so that a test can compare it in one line.
inline QString thrownBy(const std::function<void()>& call)
{
    try {
        call();
    } catch (const Tarsk::Utils::Exception& e) {
        return e.message();
    }
    return QStringLiteral("<nothing thrown>");
}

} // namespace TestSupport
