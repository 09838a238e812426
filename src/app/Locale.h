#pragma once

// Sets a UTF-8 C locale for the process (libarchive needs it to write
// non-ASCII entry names). Call first in every main().
void setUtf8Locale();
