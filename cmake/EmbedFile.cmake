# cmake -DINPUT=FILE -DOUTPUT=HEADER -DNAME=IDENTIFIER -P EmbedFile.cmake
# Writes HEADER defining `constexpr char IDENTIFIER[]` with the bytes of FILE and a closing zero,
# so a text kept as a file in the repository is built into the program.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" length)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
string(REGEX REPLACE "(('[^']+',){16})" "\\1\n" bytes "${bytes}")
file(WRITE ${OUTPUT}.tmp "// Generated from ${INPUT}; do not edit.\nconstexpr char ${NAME}[] = {\n${bytes}'\\0'};\n")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
