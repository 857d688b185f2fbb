#pragma once

#include <QString>
#include <cstdint>

// A failed operation, as the operating system reports it: its error number and
// its description. Every failure of the platform layer, and the program's own
// arithmetic and argument failures, are raised as this one type.
class PlatformError
{
public:
    PlatformError(std::int32_t number, QString description)
        : m_number(number), m_description(std::move(description))
    {}

    // The error for an errno value, with the system's text for it.
    static PlatformError fromErrno(int errnoValue);

    std::int32_t number() const { return m_number; }
    const QString& description() const { return m_description; }

private:
    std::int32_t m_number;
    QString m_description;
};
