# Writes OUT, a C++ source defining `extern const char SYMBOL[]` with the
# bytes of IN, kept exactly (every byte as a hexadecimal escape).
file(READ ${IN} hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" bytes "${hex}")
file(WRITE ${OUT} "extern const char ${SYMBOL}[];\nconst char ${SYMBOL}[] = \"${bytes}\";\n")
