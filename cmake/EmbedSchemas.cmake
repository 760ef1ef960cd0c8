# Embeds every *.xsd of a folder as a Qt resource under /schemas/<NAME>, where NAME is the schema's
# targetNamespace with every ":" and "." replaced by "_", upper-cased. The engine finds a schema by
# the namespace of the document alone, so supporting another message version means dropping its
# schema into the folder: no table of namespaces exists anywhere in code.
function(pravik_embed_schemas target dir)
  if(NOT IS_DIRECTORY "${dir}")
    message(FATAL_ERROR
      "Schema folder not found: ${dir}\n"
      "Pravik embeds the German banks' validation schemas (pain.001.001.09_GBIC_5.xsd, "
      "pain.008.001.08_GBIC_5.xsd). They are published by the Deutsche Kreditwirtschaft on ebics.de "
      "in the archive DK-TVS_SEPA_GBIC_5zzglISO_Originale.zip and may not be redistributed with Pravik. "
      "Unpack the two .xsd files into a folder and configure with -DPRAVIK_SCHEMA_DIR=/path/to/that/folder.")
  endif()
  file(GLOB xsds LIST_DIRECTORIES false CONFIGURE_DEPENDS "${dir}/*.xsd")
  if(NOT xsds)
    message(FATAL_ERROR "No *.xsd files in the schema folder ${dir}; see PRAVIK_SCHEMA_DIR in README.md.")
  endif()
  set(aliases "")
  foreach(xsd IN LISTS xsds)
    file(READ "${xsd}" head LIMIT 65536)
    if(NOT head MATCHES "targetNamespace[ \t\r\n]*=[ \t\r\n]*[\"']([^\"']+)[\"']")
      message(FATAL_ERROR "${xsd} declares no targetNamespace; it cannot be chosen by a document's namespace.")
    endif()
    string(REPLACE ":" "_" name "${CMAKE_MATCH_1}")
    string(REPLACE "." "_" name "${name}")
    string(TOUPPER "${name}" name)
    if(name IN_LIST aliases)
      message(FATAL_ERROR "Two schemas in ${dir} share the namespace ${CMAKE_MATCH_1}.")
    endif()
    list(APPEND aliases "${name}")
    set_source_files_properties("${xsd}" PROPERTIES QT_RESOURCE_ALIAS "${name}")
    message(STATUS "Embedding ${xsd} as ${name}")
  endforeach()
  string(MAKE_C_IDENTIFIER "${target}_schemas" rcname)
  qt_add_resources(${target} ${rcname} PREFIX "/schemas" BASE "${dir}" FILES ${xsds})
endfunction()
