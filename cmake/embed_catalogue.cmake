# Writes a compiled catalogue as a C++ array, so that kiln carries its English
# texts with it and needs no file to speak English.
#   cmake -DINPUT=en.mo -DOUTPUT=english_catalogue.cpp -P embed_catalogue.cmake
file(READ ${INPUT} bytes HEX)
string(LENGTH "${bytes}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${bytes}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n" bytes "${bytes}")
file(WRITE ${OUTPUT}.new
  "// Made at build time from po/en.po; do not edit.\n"
  "#include \"ui/term/catalogue.h\"\n"
  "extern const unsigned char kEnglishCatalogue[] = {\n${bytes}\n};\n"
  "extern const std::size_t kEnglishCatalogueSize = ${size};\n")
file(RENAME ${OUTPUT}.new ${OUTPUT})
