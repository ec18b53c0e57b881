# layers_include_order: no file of a product folder includes a header of a
# folder later in the order of the layers (BV_LAYERS, then tools/), so that
# calls up through header-only code are caught too, not only those that
# would fail to link.
add_test(NAME layers_include_order
         COMMAND ${CMAKE_COMMAND} "-DSOURCE_DIR=${CMAKE_SOURCE_DIR}" "-DLAYERS=${BV_LAYERS};tools"
                 -P ${CMAKE_CURRENT_SOURCE_DIR}/check_layers.cmake)
