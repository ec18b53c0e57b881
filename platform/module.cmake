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
