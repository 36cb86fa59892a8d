#include "inhouse/Exception.h"

namespace Tarsk::Utils {

Exception::Exception(const QString& message, QtMsgType severity)
    : msg(message)
    , level(severity)
    , utf8(message.toUtf8()) // what() must hand out memory that lives as long as the exception
{
}

void fail(const QString& message, QtMsgType severity)
{
    throw Exception(message, severity);
}

} // namespace Tarsk::Utils
