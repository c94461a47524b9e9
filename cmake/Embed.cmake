# quorvane_embed(TARGET <lib> SYMBOL <name> FILE <path>)
# Compiles the bytes of FILE into TARGET as
#   extern const unsigned char <name>[];  extern const unsigned int <name>_size;
# The generated source is rebuilt whenever FILE changes (FILE may itself be a generated output).
function(quorvane_embed)
  cmake_parse_arguments(E "" "TARGET;SYMBOL;FILE" "" ${ARGN})
  set(out "${CMAKE_CURRENT_BINARY_DIR}/embedded/${E_SYMBOL}.cpp")
  add_custom_command(
    OUTPUT "${out}"
    COMMAND bin2cpp "${E_FILE}" "${E_SYMBOL}" "${out}"
    DEPENDS bin2cpp "${E_FILE}"
    COMMENT "Embedding ${E_SYMBOL}"
    VERBATIM)
  target_sources(${E_TARGET} PRIVATE "${out}")
endfunction()
