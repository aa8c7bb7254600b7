# Folder listing: enumerating and sorting 20,000 shell items against a plain
# readdir + lstat, and the first rows' names, types and icons.
add_executable(bench_listing ${CMAKE_CURRENT_LIST_DIR}/bench_listing.cpp
  ${CMAKE_CURRENT_LIST_DIR}/listing_util.h ${CMAKE_CURRENT_LIST_DIR}/listing_util.cpp)
target_link_libraries(bench_listing PRIVATE kelvora_shell)
# The file list control over the same folder: opening it, scrolling it, memory.
add_executable(bench_list_view ${CMAKE_CURRENT_LIST_DIR}/bench_list_view.cpp
  ${CMAKE_CURRENT_LIST_DIR}/listing_util.h ${CMAKE_CURRENT_LIST_DIR}/listing_util.cpp)
target_link_libraries(bench_list_view PRIVATE kelvora_shell_ui kelvora_ui)
