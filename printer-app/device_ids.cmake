# Writes the models' IEEE 1284 device IDs, as the PPD description gives them,
# as C++ initialisers: {"Norvane R01 Series", "MFG:Norvane;MDL:R01 Series;"},
#   cmake -DDRV=norvane.drv -DOUT=model_device_ids.inc -P device_ids.cmake
file(READ ${DRV} drv)
# Device IDs are full of semicolons, which CMake takes for list separators.
string(REPLACE ";" "<semicolon>" drv "${drv}")
string(REGEX MATCHALL "ModelName \"[^\"]+\"[^{}]*Attribute \"1284DeviceID\" \"\" \"[^\"]+\"" pairs "${drv}")
set(text "// Generated from ${DRV}; do not edit.\n")
set(count 0)
foreach(pair IN LISTS pairs)
  string(REGEX REPLACE "^ModelName \"([^\"]+)\".*\"1284DeviceID\" \"\" \"([^\"]+)\"$" "{\"\\1\", \"\\2\"}," line "${pair}")
  string(REPLACE "<semicolon>" ";" line "${line}")
  string(APPEND text "${line}\n")
  math(EXPR count "${count} + 1")
endforeach()
if(count EQUAL 0)
  message(FATAL_ERROR "no 1284DeviceID in ${DRV}")
endif()
file(WRITE ${OUT}.tmp "${text}")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUT}.tmp)
