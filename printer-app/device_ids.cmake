# Writes the models' IEEE 1284 device IDs, as the PPD description gives them,
# as C++ initialisers: {"Norvane R01 Series", "MFG:Norvane;MDL:R01 Series;"},
# and the manual-duplex instruction ("MDuplex") as a string literal.
#   cmake -DDRV=norvane.drv -DOUT=model_device_ids.inc -DTEXT_OUT=manual_duplex_text.inc
#         -P device_ids.cmake
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

if(NOT drv MATCHES "cupsIPPReason \"MDuplex/([^\"]+)\"")
  message(FATAL_ERROR "no MDuplex text in ${DRV}")
endif()
string(REPLACE "<semicolon>" ";" mduplex "${CMAKE_MATCH_1}")
file(WRITE ${TEXT_OUT}.tmp "\"${mduplex}\"\n")
file(COPY_FILE ${TEXT_OUT}.tmp ${TEXT_OUT} ONLY_IF_DIFFERENT)
file(REMOVE ${TEXT_OUT}.tmp)
