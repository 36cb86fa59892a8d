#include "inhouse/Exception.h"

namespace Tarsk::Utils {

Exception::Exception(const QString& message, QtMsgType severity) : Exception(KIND_GENERAL, message, severity)
{
}

Exception::Exception(Kind_t kind, const QString& message, QtMsgType severity)
    : msg(message)
    , level(severity)
    , sort(kind)
    , utf8(message.toUtf8()) // what() must hand out memory that lives as long as the exception
{
}

void fail(const QString& message, QtMsgType severity)
{
    throw Exception(message, severity);
}

void fail(Exception::Kind_t kind, const QString& message, QtMsgType severity)
{
    throw Exception(kind, message, severity);
}

} // namespace Tarsk::Utils
