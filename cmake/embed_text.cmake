# Builds files into the program: writes OUTPUT, a C++ source that defines, in NAMESPACE, one
# std::string_view constant per file of INPUTS, named as NAMES says (both lists separated
# by "|"). Run as a script: cmake -DOUTPUT=… -DNAMESPACE=… -DINPUTS=a|b -DNAMES=kA|kB -P ….
string(REPLACE "|" ";" inputs "${INPUTS}")
string(REPLACE "|" ";" names "${NAMES}")
set(text "// Made from the source tree by cmake/embed_text.cmake at build time.\n")
string(APPEND text "#include <string_view>\n\nnamespace ${NAMESPACE} {\nnamespace {\n\n")
set(views "")
foreach(input name IN ZIP_LISTS inputs names)
  file(READ "${input}" hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
  string(APPEND text "constexpr char ${name}Bytes[] = {${bytes} 0};\n")
  string(APPEND views "extern const std::string_view ${name}(${name}Bytes, ${size});\n")
endforeach()
string(APPEND text "\n}  // namespace\n\n${views}\n}  // namespace ${NAMESPACE}\n")
file(WRITE "${OUTPUT}.new" "${text}")
file(RENAME "${OUTPUT}.new" "${OUTPUT}")
