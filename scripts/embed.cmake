# Turns a binary file into a C++ source holding it as EmbeddedArchive.
#   cmake -DINPUT=file -DOUTPUT=file.cpp -P embed.cmake
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR length "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${INPUT} by the build; do not edit.\n"
  "#include <cstdint>\n\n"
  "extern const unsigned char EmbeddedArchive[];\n"
  "extern const std::int32_t EmbeddedArchiveLength;\n\n"
  "const std::int32_t EmbeddedArchiveLength = ${length};\n"
  "alignas(4) const unsigned char EmbeddedArchive[${length} + 1] = {\n${bytes}0};\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
