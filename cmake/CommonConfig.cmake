# Build settings shared by every target of the project.
add_library(velloran_common INTERFACE)
target_compile_options(velloran_common INTERFACE -Wall -Wextra -Wno-unused-parameter)
target_compile_definitions(velloran_common INTERFACE
  QT_NO_CAST_FROM_BYTEARRAY
  QT_NO_URL_CAST_FROM_STRING
  QT_USE_QSTRINGBUILDER
  QT_DISABLE_DEPRECATED_BEFORE=0x050F00)
if(VELLORAN_SANITIZE)
  target_compile_options(velloran_common INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(velloran_common INTERFACE -fsanitize=address,undefined)
endif()
if(VELLORAN_BUILD_FUZZ)
  # Coverage for libFuzzer in every library; the fuzz targets link the
  # fuzzer itself.
  target_compile_options(velloran_common INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
    -fno-sanitize-recover=undefined)
  target_link_options(velloran_common INTERFACE -fsanitize=address,undefined)
endif()
