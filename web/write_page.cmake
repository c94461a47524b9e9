# cmake -DTEMPLATE=page.html -DOUT=index.html (-DSCRIPT_SRC=file.js | -DSCRIPT_FILE=path.js) -P write_page.cmake
# Writes the page with the program's script either referenced (<script src>) or inlined.
file(READ "${TEMPLATE}" page)
if(DEFINED SCRIPT_FILE)
  file(READ "${SCRIPT_FILE}" script)
  # A "</script" inside the inlined code would end the element early.
  string(REPLACE "</script" "<\\/script" script "${script}")
  set(tag "<script>\n${script}\n</script>")
else()
  set(tag "<script src=\"${SCRIPT_SRC}\"></script>")
endif()
string(REPLACE "<!-- program -->" "${tag}" page "${page}")
file(WRITE "${OUT}" "${page}")
