# Writes OUTPUT, a C++ file holding the page's files as byte arrays, from
# the files in PAGE_DIR: index.html (served as "/"), app.js, app.css and the
# roll call's roll.js and roll.css, the update form's update.js and update.css,
# the history's history.js, the sign-in's signin.js, the plans' plans.js and
# Who's away's away.js, the
# times' words in times.js and the wall's wall.js and wall.css.
set(entries "")
set(arrays "")
foreach(entry "index.html|/|text/html; charset=utf-8" "app.js|/app.js|text/javascript; charset=utf-8"
             "app.css|/app.css|text/css; charset=utf-8" "roll.js|/roll.js|text/javascript; charset=utf-8"
             "roll.css|/roll.css|text/css; charset=utf-8" "update.js|/update.js|text/javascript; charset=utf-8"
             "update.css|/update.css|text/css; charset=utf-8" "history.js|/history.js|text/javascript; charset=utf-8"
             "signin.js|/signin.js|text/javascript; charset=utf-8"
             "plans.js|/plans.js|text/javascript; charset=utf-8" "times.js|/times.js|text/javascript; charset=utf-8"
             "wall.js|/wall.js|text/javascript; charset=utf-8" "away.js|/away.js|text/javascript; charset=utf-8" "wall.css|/wall.css|text/css; charset=utf-8")
  string(REPLACE "|" ";" fields "${entry}")
  list(GET fields 0 file)
  list(GET fields 1 path)
  list(GET fields 2 type)
  string(MAKE_C_IDENTIFIER "${file}" id)
  file(READ "${PAGE_DIR}/${file}" hex HEX)
  string(LENGTH "${hex}" length)
  math(EXPR size "${length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND arrays "const unsigned char ${id}[] = {${bytes}0};\n")
  string(APPEND entries "    {\"${path}\", \"${type}\", ${id}, ${size}},\n")
endforeach()
file(WRITE "${OUTPUT}.new" "// Made at build time from server/web/page; do not edit.
#include \"EmbeddedPage.h\"

namespace {
${arrays}
const EmbeddedFile files[] = {
${entries}};
}  // namespace

const EmbeddedFile* FindPageFile(const std::string& path) {
    for (const EmbeddedFile& file : files)
        if (path == file.path) return &file;
    return nullptr;
}
")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
