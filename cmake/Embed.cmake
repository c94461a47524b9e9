# quorvane_embed(TARGET <lib> SYMBOL <name> FILE <path>)
# Compiles the bytes of FILE into TARGET as
#   extern const unsigned char <name>[];  extern const unsigned int <name>_size;
# The generated source is rebuilt whenever FILE changes (FILE may itself be a generated output).
# May be called from a subdirectory of TARGET's folder: a custom command's rule only belongs to
# targets of its own folder, so a small target here produces the source before TARGET builds.
function(quorvane_embed)
  cmake_parse_arguments(E "" "TARGET;SYMBOL;FILE" "" ${ARGN})
  set(out "${CMAKE_CURRENT_BINARY_DIR}/embedded/${E_SYMBOL}.cpp")
  # Ninja creates an output's folder before running its command; Makefiles do not.
  file(MAKE_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}/embedded")
  # A cross build runs the host's own bin2cpp (cmake/HostTools.cmake).
  get_target_property(tool bin2cpp QUORVANE_HOST_PROGRAM)
  if(NOT tool)
    set(tool $<TARGET_FILE:bin2cpp>)
  endif()
  add_custom_command(
    OUTPUT "${out}"
    COMMAND ${QUORVANE_EMBED_RUNNER} ${tool} "${E_FILE}" "${E_SYMBOL}" "${out}"
    DEPENDS bin2cpp "${E_FILE}"
    COMMENT "Embedding ${E_SYMBOL}"
    VERBATIM)
  add_custom_target(embed_${E_SYMBOL} DEPENDS "${out}")
  add_dependencies(${E_TARGET} embed_${E_SYMBOL})
  target_sources(${E_TARGET} PRIVATE "${out}")
endfunction()
