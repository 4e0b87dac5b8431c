# Turns the web page's files into one C++ source: a byte array per file and a table of them, so that
# the program serves the page without any file beside it. Run by the build as
#   cmake -DSOURCE_DIR=... -DOUTPUT=... -DFILES=a,b -P embed_web.cmake
string(REPLACE "," ";" FILES "${FILES}")
set(body "// Made by cmake/embed_web.cmake from the files in web/: do not edit.\n#include \"net/web_assets.hpp\"\n\nnamespace kvr {\nnamespace {\n")
set(table "")
set(n 0)
foreach(name ${FILES})
  file(READ ${SOURCE_DIR}/${name} hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND body "const unsigned char FILE_${n}[] = {${bytes}0x00};\n")
  string(APPEND table "    {\"/${name}\", FILE_${n}, ${size}},\n")
  math(EXPR n "${n} + 1")
endforeach()
string(APPEND body "} // namespace\n\nconst std::vector<WebAsset>& webAssets() {\n    static const std::vector<WebAsset> assets = {\n${table}    };\n    return assets;\n}\n\n} // namespace kvr\n")
file(WRITE ${OUTPUT}.tmp "${body}")
configure_file(${OUTPUT}.tmp ${OUTPUT} COPYONLY)
