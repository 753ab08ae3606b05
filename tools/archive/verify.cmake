# frarchive's verify, export and summary: their library, the tool, its tests and its fuzz target.
# Included from tools/CMakeLists.txt; paths are relative to this file.
find_package(CLI11 REQUIRED)

add_library(frarchive_lib STATIC
  ${CMAKE_CURRENT_LIST_DIR}/archive_export.cpp
  ${CMAKE_CURRENT_LIST_DIR}/archive_files.cpp
  ${CMAKE_CURRENT_LIST_DIR}/archive_items.cpp
  ${CMAKE_CURRENT_LIST_DIR}/archive_summary.cpp
)
target_link_libraries(frarchive_lib PUBLIC frcore_lib nlohmann_json::nlohmann_json)

add_executable(frarchive ${CMAKE_CURRENT_LIST_DIR}/../frarchive.cpp)
target_link_libraries(frarchive PRIVATE frarchive_lib frarchive_generator CLI11::CLI11)

frcore_test(frarchive_tests
  ${CMAKE_CURRENT_LIST_DIR}/archive_export_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frarchive_test.cpp
)
if(TARGET frarchive_tests)
  target_link_libraries(frarchive_tests PRIVATE frarchive_lib)
  target_compile_definitions(frarchive_tests PRIVATE FRARCHIVE_BINARY="$<TARGET_FILE:frarchive>")
  add_dependencies(frarchive_tests frarchive)
endif()

if(FRCORE_FUZZ)
  frcore_fuzz(frarchive_fuzz ${CMAKE_CURRENT_LIST_DIR}/frarchive_fuzz.cpp)
  target_link_libraries(frarchive_fuzz PRIVATE frarchive_lib)
endif()

frcore_bench(frarchive_bench ${CMAKE_CURRENT_LIST_DIR}/frarchive_bench.cpp)
if(TARGET frarchive_bench)
  target_link_libraries(frarchive_bench PRIVATE frarchive_lib)
endif()
