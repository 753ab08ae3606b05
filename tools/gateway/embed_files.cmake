# Writes OUTPUT, a C++ source that defines each function of FUNCTIONS (in namespace gateway,
# returning std::string_view) as the bytes of the file of the same place in FILES; both lists
# are separated by commas.
#   cmake -DOUTPUT=out.cpp -DFUNCTIONS=adminPage,openApiDocument -DFILES=a.html,b.json -P embed_files.cmake
string(REPLACE "," ";" FUNCTIONS "${FUNCTIONS}")
string(REPLACE "," ";" FILES "${FILES}")
set(source "// Made by embed_files.cmake from the files named below: do not edit.\n")
string(APPEND source "#include \"tools/gateway/embedded_files.h\"\n\nnamespace gateway {\nnamespace {\n\n")
set(definitions "")
list(LENGTH FUNCTIONS count)
math(EXPR last "${count} - 1")
foreach(index RANGE ${last})
  list(GET FUNCTIONS ${index} function)
  list(GET FILES ${index} file)
  file(READ "${file}" hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n"
         bytes "${bytes}")
  get_filename_component(name "${file}" NAME)
  string(APPEND source "// ${name}\nconstexpr unsigned char k_${function}[] = {\n${bytes}0x00};\n\n")
  string(APPEND definitions "std::string_view ${function}() {\n"
         "  return {reinterpret_cast<const char*>(k_${function}), sizeof k_${function} - 1};\n}\n\n")
endforeach()
string(APPEND source "}  // namespace\n\n${definitions}}  // namespace gateway\n")
file(WRITE "${OUTPUT}.new" "${source}")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
