# Build settings shared by every target of the project.
option(VELLORAN_WERROR "Treat compiler warnings as errors (continuous integration turns it on)" OFF)

add_library(velloran_common INTERFACE)
target_compile_options(velloran_common INTERFACE
  -Wall -Wextra -Wno-unused-parameter -pedantic
  -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual -Wcast-qual -Wcast-align
  -Wformat=2
  $<$<COMPILE_LANGUAGE:CXX>:-Wold-style-cast>
  # In test bodies GCC takes the pointers that gtest's and Qt's inlined
  # helpers compare or swap for possibly null; tests go without this one.
  $<$<NOT:$<BOOL:$<TARGET_PROPERTY:VELLORAN_TEST_CODE>>>:-Wnull-dereference>)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # Only GCC knows these two.
  target_compile_options(velloran_common INTERFACE -Wduplicated-cond -Wlogical-op)
endif()
if(VELLORAN_WERROR)
  target_compile_options(velloran_common INTERFACE -Werror)
endif()
# Every conversion between bytes and text names its encoding, and nothing
# deprecated up to the oldest Qt we build with (6.4) is used. Qt 6.5 and later
# read the _UP_TO name, 6.4 the _BEFORE one. The tests build under the same
# defines as the product.
target_compile_definitions(velloran_common INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_NO_CAST_TO_ASCII
  QT_NO_CAST_FROM_BYTEARRAY
  QT_NO_URL_CAST_FROM_STRING
  QT_USE_QSTRINGBUILDER
  QT_DISABLE_DEPRECATED_BEFORE=0x060400
  QT_DISABLE_DEPRECATED_UP_TO=0x060400)
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
