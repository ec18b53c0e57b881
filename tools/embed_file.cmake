# Writes a C++ source that holds the bytes of a file as an array:
#   cmake -DINPUT=file -DOUTPUT=source.cc -DSYMBOL=name -P embed_file.cmake
# defines  extern const unsigned char name[];  and  extern const unsigned long nameSize;
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n" bytes "${bytes}")
file(WRITE ${OUTPUT}.tmp
  "// Generated from ${INPUT} by tools/embed_file.cmake; do not edit.\n"
  "extern const unsigned char ${SYMBOL}[];\n"
  "extern const unsigned long ${SYMBOL}Size;\n"
  "const unsigned char ${SYMBOL}[] = {\n${bytes}\n};\n"
  "const unsigned long ${SYMBOL}Size = ${size};\n")
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
