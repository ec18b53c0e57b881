# The message catalog's locale tables are generated from the UTF-8 texts in
# platform/messages/: iconv converts each to its language's character set
# and the bytes are compiled in.
find_program(BV_ICONV iconv REQUIRED)
set(BV_CATALOG_DIR ${CMAKE_CURRENT_LIST_DIR}/messages)
set(BV_CATALOG_OUTPUT ${BV_GENERATED_DIR}/message_tables.cc)
file(STRINGS ${BV_CATALOG_DIR}/locales.txt bv_catalog_entries REGEX "^[^#]")
set(bv_catalog_inputs ${BV_CATALOG_DIR}/locales.txt ${BV_CATALOG_DIR}/gen_catalog.cmake)
foreach(bv_entry ${bv_catalog_entries})
  string(REGEX MATCH "^[A-Za-z_]+" bv_locale "${bv_entry}")
  list(APPEND bv_catalog_inputs ${BV_CATALOG_DIR}/${bv_locale}.txt)
endforeach()
add_custom_command(
  OUTPUT ${BV_CATALOG_OUTPUT}
  COMMAND ${CMAKE_COMMAND} -DICONV=${BV_ICONV} -DCATALOG_DIR=${BV_CATALOG_DIR}
          -DOUTPUT=${BV_CATALOG_OUTPUT} -P ${BV_CATALOG_DIR}/gen_catalog.cmake
  DEPENDS ${bv_catalog_inputs}
  COMMENT "Converting the message catalog to each language's character set"
  VERBATIM)
target_sources(bv_platform PRIVATE ${BV_CATALOG_OUTPUT})

# The C library file that the build links against: a launcher that carries
# its own copy (the static build) lets iconv load the system's conversion
# modules only when this file names the same release (conversion_modules.cc).
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libc.so.6
                OUTPUT_VARIABLE bv_system_libc OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(IS_ABSOLUTE "${bv_system_libc}" AND EXISTS "${bv_system_libc}")
  get_filename_component(bv_system_libc "${bv_system_libc}" REALPATH)
  set_property(SOURCE ${CMAKE_CURRENT_LIST_DIR}/conversion_modules.cc APPEND PROPERTY
               COMPILE_DEFINITIONS BV_SYSTEM_LIBC="${bv_system_libc}")
endif()
