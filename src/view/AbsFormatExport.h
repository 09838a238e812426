// Base of the message exporters: open and write the head, write one item,
// write the tail and close. Failures throw AppError.
#pragma once

template <typename T>
class AbsFormatExport
{
public:
    virtual ~AbsFormatExport() = default;
    virtual void begin() = 0;
    virtual void write(const T *item) = 0;
    virtual void end() = 0;
};
