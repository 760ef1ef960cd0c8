#include "exception.h"

Exception::Exception(QString message)
    : m_message(std::move(message))
    , m_utf8(m_message.toStdString())
{
}

Exception::~Exception() = default;
