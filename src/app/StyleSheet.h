#pragma once

#include <QString>

// The application style sheet (resource ":style.css"), read once, cut at the
// first NUL byte; empty when the resource is missing.
QString appStyleSheet();
