# Gives an executable a version resource: the platform's version-information block (VS_VERSIONINFO)
# generated at build time by pravik-mkversionres and linked into the ELF section ".pravik_version",
# where TVersionInfo finds it.
#
#   pravik_add_version_resource(<target>
#     [FILE_DESCRIPTION <text>]      default: the project description
#     [INTERNAL_NAME <name>]         default: <target>
#     [ORIGINAL_FILENAME <name>]     default: the target's file name
#     [FILE_VERSION <a.b.c.d>]       default: PROJECT_VERSION, filled up to four parts
#     [PRODUCT_VERSION <a.b.c.d>]    default: FILE_VERSION
#     [COMPANY_NAME <text>]          default: "Zelk Software"
#     [PRODUCT_NAME <text>]          default: "Pravik"
#     [LEGAL_COPYRIGHT <text>]       default: "Copyright © <year> Zelk Software"
#     [LEGAL_TRADEMARKS <text>] [COMMENTS <text>]   written only when given
#     [STRINGS <Key=Value> ...]      further entries, after the standard ones
#     [FILE_TYPE app|dll])           default: app
#
# Call it in the directory that defines <target>. Values are single lines. The four-part file
# version written is left in the target property PRAVIK_FILE_VERSION.
function(pravik_add_version_resource target)
  set(one FILE_DESCRIPTION INTERNAL_NAME ORIGINAL_FILENAME FILE_VERSION PRODUCT_VERSION COMPANY_NAME
          PRODUCT_NAME LEGAL_COPYRIGHT LEGAL_TRADEMARKS COMMENTS FILE_TYPE)
  cmake_parse_arguments(PARSE_ARGV 1 VR "" "${one}" "STRINGS")
  if(VR_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "pravik_add_version_resource: unknown arguments ${VR_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT TARGET ${target})
    message(FATAL_ERROR "pravik_add_version_resource: ${target} is not a target")
  endif()

  if(NOT DEFINED VR_FILE_VERSION)
    set(VR_FILE_VERSION "${PROJECT_VERSION}")
  endif()
  string(REPLACE "." ";" parts "${VR_FILE_VERSION}")
  list(LENGTH parts n)
  while(n LESS 4)
    string(APPEND VR_FILE_VERSION ".0")
    math(EXPR n "${n} + 1")
  endwhile()
  if(NOT DEFINED VR_PRODUCT_VERSION)
    set(VR_PRODUCT_VERSION "${VR_FILE_VERSION}")
  endif()
  string(TIMESTAMP year "%Y") # honours SOURCE_DATE_EPOCH for reproducible builds
  set(defaults
    COMPANY_NAME "Zelk Software"
    PRODUCT_NAME "Pravik"
    FILE_DESCRIPTION "${PROJECT_DESCRIPTION}"
    INTERNAL_NAME "${target}"
    ORIGINAL_FILENAME "$<TARGET_FILE_NAME:${target}>"
    LEGAL_COPYRIGHT "Copyright © ${year} Zelk Software"
    FILE_TYPE "app")
  while(defaults)
    list(POP_FRONT defaults key value)
    if(NOT DEFINED VR_${key})
      set(VR_${key} "${value}")
    endif()
  endwhile()

  set(description "@file-version ${VR_FILE_VERSION}\n@product-version ${VR_PRODUCT_VERSION}\n")
  string(APPEND description "@file-type ${VR_FILE_TYPE}\n@language 0409 04B0\n")
  foreach(entry
      "CompanyName=${VR_COMPANY_NAME}"
      "FileDescription=${VR_FILE_DESCRIPTION}"
      "FileVersion=${VR_FILE_VERSION}"
      "InternalName=${VR_INTERNAL_NAME}"
      "LegalCopyright=${VR_LEGAL_COPYRIGHT}")
    string(APPEND description "${entry}\n")
  endforeach()
  if(DEFINED VR_LEGAL_TRADEMARKS)
    string(APPEND description "LegalTrademarks=${VR_LEGAL_TRADEMARKS}\n")
  endif()
  string(APPEND description "OriginalFilename=${VR_ORIGINAL_FILENAME}\nProductName=${VR_PRODUCT_NAME}\n")
  string(APPEND description "ProductVersion=${VR_PRODUCT_VERSION}\n")
  if(DEFINED VR_COMMENTS)
    string(APPEND description "Comments=${VR_COMMENTS}\n")
  endif()
  foreach(entry IN LISTS VR_STRINGS)
    string(APPEND description "${entry}\n")
  endforeach()

  set(dir "${CMAKE_CURRENT_BINARY_DIR}/${target}_version")
  file(GENERATE OUTPUT "${dir}/version.txt" CONTENT "${description}")
  add_custom_command(
    OUTPUT "${dir}/version_resource.bin" "${dir}/version_resource.cpp"
    COMMAND pravik-mkversionres "${dir}/version.txt" "${dir}/version_resource.bin" "${dir}/version_resource.cpp"
    DEPENDS pravik-mkversionres "${dir}/version.txt"
    COMMENT "Generating the version resource of ${target}"
    VERBATIM)
  target_sources(${target} PRIVATE "${dir}/version_resource.cpp")
  set_source_files_properties("${dir}/version_resource.cpp" PROPERTIES SKIP_AUTOGEN ON)
  set_target_properties(${target} PROPERTIES PRAVIK_FILE_VERSION "${VR_FILE_VERSION}")
endfunction()
