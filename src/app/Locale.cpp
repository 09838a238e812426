#include "app/Locale.h"

#include <clocale>

void setUtf8Locale()
{
    if (!std::setlocale(LC_ALL, "C.UTF-8"))
        std::setlocale(LC_ALL, "en_US.UTF-8");
    // Numbers must keep "." as decimal point whatever the user's settings.
    std::setlocale(LC_NUMERIC, "C");
}
