# Benchmarks: every bench/<name>_bench.cc is a program bench_<name>, built
# only on request (cmake --build build --target bench_<name>) and never run
# by the tests.
file(GLOB BV_BENCH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/*_bench.cc)
foreach(bench_source ${BV_BENCH_SOURCES})
  get_filename_component(bench_name ${bench_source} NAME_WE)
  string(REGEX REPLACE "_bench$" "" bench_name ${bench_name})
  add_executable(bench_${bench_name} EXCLUDE_FROM_ALL ${bench_source})
  target_link_libraries(bench_${bench_name} PRIVATE bv_launcher)
  target_compile_definitions(bench_${bench_name} PRIVATE BV_BINARY_DIR="${CMAKE_BINARY_DIR}")
endforeach()
