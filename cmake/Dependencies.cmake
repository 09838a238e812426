# Third-party libraries, all from Debian packages.
find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Widgets Network Concurrent PrintSupport LinguistTools)
find_package(Qt6 6.4 QUIET COMPONENTS WebEngineWidgets)
find_package(SQLite3 REQUIRED)
find_package(LibArchive REQUIRED)
find_package(ZLIB REQUIRED)
find_package(OpenSSL REQUIRED COMPONENTS Crypto)
find_package(PkgConfig REQUIRED)
pkg_check_modules(PLIST REQUIRED IMPORTED_TARGET libplist-2.0)
pkg_check_modules(IMOBILEDEVICE REQUIRED IMPORTED_TARGET libimobiledevice-1.0)
pkg_check_modules(USBMUXD REQUIRED IMPORTED_TARGET libusbmuxd-2.0)

# mbed TLS ships neither a CMake package nor a pkg-config file in Debian.
find_path(MBEDTLS_INCLUDE_DIR mbedtls/version.h REQUIRED)
find_library(MBEDCRYPTO_LIBRARY mbedcrypto REQUIRED)
add_library(mbedcrypto UNKNOWN IMPORTED)
set_target_properties(mbedcrypto PROPERTIES
  IMPORTED_LOCATION ${MBEDCRYPTO_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${MBEDTLS_INCLUDE_DIR})

find_package(GTest QUIET)
find_package(benchmark QUIET)
